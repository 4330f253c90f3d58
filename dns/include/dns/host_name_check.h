// Guards between what a name server (or /etc/hosts) says and what the
// collector stores and writes into its tab-separated, CR LF-ended export.
#pragma once

#include <string>
#include <string_view>

namespace vexa::dns {

inline constexpr size_t kMaxHostNameLength = 255;

// A name the list can carry: 1 to 255 bytes, none of them a control byte
// (below 0x20, or 0x7F), so no tab, CR or LF can split an export line.
bool IsListableHostName(std::string_view name);

// `text` cut to `limit` bytes (marked with "...") and with control bytes
// shown as '?', for quoting untrusted input inside an event-log line.
std::string PrintableExcerpt(std::string_view text, size_t limit = 64);

}  // namespace vexa::dns

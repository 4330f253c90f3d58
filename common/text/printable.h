// Text that comes from a peer (an SNMP agent, a name server) made fit for the
// files: the store, the export and the traces are tab-separated lines with
// CR LF ends, so no byte of such text may split a field or a line.
#pragma once

#include <string>
#include <string_view>

namespace vexa {

// Below 0x20 (tab, CR and LF included), or 0x7F.
inline bool IsControlByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

// `text` with every control byte shown as '?'; every other byte as it is.
std::string WithoutControlBytes(std::string_view text);

// `text` with every byte outside printable ASCII (0x20 to 0x7E) shown as '?':
// for raw octets that are no text at all, where bytes above 0x7F could form
// C1 controls, bidirectional overrides or invalid UTF-8 on a terminal.
std::string PrintableAsciiOnly(std::string_view text);

}  // namespace vexa

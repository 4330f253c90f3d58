// Texts from the database, the event log or the command line are untrusted:
// they are written out escaped, so that no control byte reaches a terminal
// or a pipe raw and every record stays on its one line.
#pragma once

#include <string>
#include <string_view>

namespace vexa {

// For tab-separated lines and messages: "\\" for a backslash, "\t", "\n",
// "\r", "\xHH" for other control bytes and for bytes that are not UTF-8,
// "\u00HH" for the C1 control characters, "\uHHHH" for the bidirectional
// embeddings, overrides and isolates (U+202A to U+202E, U+2066 to U+2069).
// Other UTF-8 text is kept.
std::string EscapeText(std::string_view bytes);

// The contents of a JSON string (without the quotes): the JSON escapes, and
// "\u00HH" for control characters, "\uHHHH" for U+2028, U+2029 and the
// bidirectional controls, "\u00HH" for each byte that is not UTF-8 (read as
// Latin-1).
std::string EscapeJson(std::string_view bytes);

}  // namespace vexa

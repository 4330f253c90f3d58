// The escapes of untrusted text live with the other text helpers; the
// commands use them under their own namespace.
#pragma once

#include "text/text_escape.h"

namespace vexa::cli {
using vexa::EscapeJson;
using vexa::EscapeText;
}  // namespace vexa::cli

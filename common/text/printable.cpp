#include "text/printable.h"

#include <algorithm>

namespace vexa {

std::string WithoutControlBytes(std::string_view text) {
  std::string out(text);
  std::replace_if(out.begin(), out.end(), IsControlByte, '?');
  return out;
}

std::string PrintableAsciiOnly(std::string_view text) {
  std::string out(text);
  std::replace_if(
      out.begin(), out.end(),
      [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte > 0x7E;
      },
      '?');
  return out;
}

}  // namespace vexa

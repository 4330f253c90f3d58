#include "text/printable.h"

#include <algorithm>

namespace vexa {

std::string WithoutControlBytes(std::string_view text) {
  std::string out(text);
  std::replace_if(out.begin(), out.end(), IsControlByte, '?');
  return out;
}

}  // namespace vexa

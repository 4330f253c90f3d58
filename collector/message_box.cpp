#include "message_box.h"

#include <cstdio>

namespace vexa {

void PrintMessageBox(const std::string& text, BoxIcon icon) {
  std::FILE* out = icon == BoxIcon::kInformation ? stdout : stderr;
  std::fprintf(out, "%s\n", text.c_str());
  std::fflush(out);
}

}  // namespace vexa

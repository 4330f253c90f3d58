#include "dns/host_name_check.h"

#include <algorithm>

namespace vexa::dns {

namespace {

bool IsControlByte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

bool IsListableHostName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxHostNameLength &&
         std::none_of(name.begin(), name.end(), IsControlByte);
}

std::string PrintableExcerpt(std::string_view text, size_t limit) {
  const bool cut = text.size() > limit;
  std::string out(text.substr(0, limit));
  std::replace_if(out.begin(), out.end(), IsControlByte, '?');
  if (cut) out += "...";
  return out;
}

}  // namespace vexa::dns

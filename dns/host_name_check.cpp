#include "dns/host_name_check.h"

#include <algorithm>

#include "text/printable.h"

namespace vexa::dns {

bool IsListableHostName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxHostNameLength &&
         std::none_of(name.begin(), name.end(), IsControlByte);
}

std::string PrintableExcerpt(std::string_view text, size_t limit) {
  std::string out = WithoutControlBytes(text.substr(0, limit));
  if (text.size() > limit) out += "...";
  return out;
}

}  // namespace vexa::dns

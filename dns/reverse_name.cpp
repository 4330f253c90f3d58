#include "dns/reverse_name.h"

#include <arpa/inet.h>

namespace vexa::dns {

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  // inet_pton reads a C string: a NUL inside the text would cut it short
  // and let "1.2.3.4\0junk" pass. The longest IPv6 text is 45 characters.
  if (text.empty() || text.size() > 45 || text.find('\0') != std::string_view::npos)
    return std::nullopt;
  const std::string c_text(text);
  IpAddress address;
  if (::inet_pton(AF_INET, c_text.c_str(), address.bytes.data()) == 1) {
    address.family = AF_INET;
    return address;
  }
  if (::inet_pton(AF_INET6, c_text.c_str(), address.bytes.data()) == 1) {
    address.family = AF_INET6;
    return address;
  }
  return std::nullopt;
}

std::string ReverseLookupName(const IpAddress& address) {
  std::string name;
  if (address.family == AF_INET) {
    for (int i = 3; i >= 0; --i) name += std::to_string(address.bytes[i]) + ".";
    return name + "in-addr.arpa";
  }
  static constexpr char kHex[] = "0123456789abcdef";
  for (int i = 15; i >= 0; --i) {
    name += kHex[address.bytes[i] & 0x0F];
    name += '.';
    name += kHex[address.bytes[i] >> 4];
    name += '.';
  }
  return name + "ip6.arpa";
}

}  // namespace vexa::dns

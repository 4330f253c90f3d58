// Address texts and the DNS names under which their PTR records live
// (RFC 1035 section 3.5 for in-addr.arpa, RFC 3596 section 2.5 for ip6.arpa).
#pragma once

#include <sys/socket.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexa::dns {

struct IpAddress {
  int family = AF_INET;             // AF_INET or AF_INET6
  std::array<uint8_t, 16> bytes{};  // network order; only the first 4 for AF_INET

  size_t size() const { return family == AF_INET6 ? 16 : 4; }
};

// Parses dotted-quad IPv4 or RFC 4291 IPv6 text. Anything else (fewer or
// more parts, spaces, zone suffixes, embedded NUL bytes) gives nullopt.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

// "4.3.2.1.in-addr.arpa" for 1.2.3.4; 32 nibbles and "ip6.arpa" for IPv6.
std::string ReverseLookupName(const IpAddress& address);

}  // namespace vexa::dns

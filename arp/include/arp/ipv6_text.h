// IPv6 addresses as text in the one canonical form (RFC 5952), so that an
// address reported by two routers, or in two polls, is stored once.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace vexa {

// Lower-case hex groups without leading zeros; the longest run of two or
// more zero groups, the first of equally long runs, written as "::"; an
// IPv4-mapped address (::ffff:0:0/96) ends in dotted decimal.
std::string Ipv6Text(const std::array<uint8_t, 16>& bytes);

}  // namespace vexa

// What kind of MAC address a text is, beside its vendor: a group address
// (multicast, broadcast included), or one of the virtual-router ranges that
// routers share for a gateway address (VRRP, HSRP, GLBP). The vendor lookup
// and the address history both go by these.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vexa {

// The 48-bit value of "00 1a 2b 3c 4d 5e", or of the same with colons or
// dashes between the pairs; nullopt for any other text.
std::optional<uint64_t> MacValue(std::string_view text);

// The group bit (0x01 of the first octet): multicast and broadcast.
inline bool IsGroupMac(uint64_t mac) {
  return (mac >> 40 & 0x01) != 0;
}

struct VirtualRouterRange {
  uint64_t first;
  uint64_t last;
  std::string_view name;
};
// The ranges below, in that order.
std::span<const VirtualRouterRange> VirtualRouterRanges();

// The protocol of a virtual-router address, or empty:
//   00-00-5E-00-01-xx "VRRP", 00-00-5E-00-02-xx "VRRP (IPv6)",
//   00-00-0C-07-AC-xx "HSRP", 00-00-0C-9F-Fx-xx "HSRPv2",
//   00-05-73-A0-0x-xx "HSRP (IPv6)", 00-07-B4-0y-xx-xx "GLBP" (y 0 to 3).
std::string_view VirtualRouterName(uint64_t mac);

}  // namespace vexa

#include "arp/mac_class.h"

namespace vexa {

namespace {

// These lie inside the assignments of IANA and of the router makers, so they
// are asked before any registry.
constexpr VirtualRouterRange kVirtualRouters[] = {
    {0x00005E000100, 0x00005E0001FF, "VRRP"},
    {0x00005E000200, 0x00005E0002FF, "VRRP (IPv6)"},
    {0x00000C07AC00, 0x00000C07ACFF, "HSRP"},
    {0x00000C9FF000, 0x00000C9FFFFF, "HSRPv2"},
    {0x000573A00000, 0x000573A00FFF, "HSRP (IPv6)"},
    {0x0007B4000000, 0x0007B403FFFF, "GLBP"},
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<uint64_t> MacValue(std::string_view text) {
  if (text.size() != 17) return std::nullopt;
  const char separator = text[2];
  if (separator != ' ' && separator != ':' && separator != '-') return std::nullopt;
  uint64_t value = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i % 3 == 2) {
      if (text[i] != separator) return std::nullopt;
      continue;
    }
    const int digit = HexDigit(text[i]);
    if (digit < 0) return std::nullopt;
    value = value << 4 | static_cast<uint64_t>(digit);
  }
  return value;
}

std::span<const VirtualRouterRange> VirtualRouterRanges() {
  return kVirtualRouters;
}

std::string_view VirtualRouterName(uint64_t mac) {
  for (const VirtualRouterRange& range : kVirtualRouters)
    if (mac >= range.first && mac <= range.last) return range.name;
  return {};
}

}  // namespace vexa

#include "neighbour_table.h"

#include <array>
#include <charconv>
#include <climits>
#include <vector>

#include "ipv6_text.h"

namespace vexa {

namespace {

// InetAddressType values.
constexpr uint32_t kTypeIpv4 = 1;
constexpr uint32_t kTypeIpv6 = 2;

// ".a.b.c" into arcs; false for anything else. An index holds at most the
// interface, type, length and 255 octets.
bool ParseIndexArcs(std::string_view text, std::vector<uint32_t>& arcs) {
  constexpr size_t kMaxArcs = 3 + 255;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    if (*p != '.' || arcs.size() == kMaxArcs) return false;
    ++p;
    uint32_t arc = 0;
    const auto [next, ec] = std::from_chars(p, end, arc);
    if (ec != std::errc() || next == p) return false;
    arcs.push_back(arc);
    p = next;
  }
  return !arcs.empty();
}

}  // namespace

PhysicalIndex DecodePhysicalIndex(std::string_view index) {
  PhysicalIndex out;
  std::vector<uint32_t> arcs;
  if (!ParseIndexArcs(index, arcs) || arcs.size() < 3 || arcs[0] > INT32_MAX) return out;
  const uint32_t type = arcs[1];
  const uint32_t length = arcs[2];
  const std::span<const uint32_t> octets(arcs.begin() + 3, arcs.end());
  if (length != octets.size()) return out;
  for (const uint32_t octet : octets)
    if (octet > 255) return out;
  out.if_index = static_cast<int32_t>(arcs[0]);

  if (type == kTypeIpv4 && length == 4) {
    out.kind = PhysicalIndex::Kind::kAddress;
    out.address = std::to_string(octets[0]) + '.' + std::to_string(octets[1]) + '.' +
                  std::to_string(octets[2]) + '.' + std::to_string(octets[3]);
  } else if (type == kTypeIpv6 && length == 16) {
    std::array<uint8_t, 16> bytes{};
    for (size_t i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(octets[i]);
    out.kind = PhysicalIndex::Kind::kAddress;
    out.address = Ipv6Text(bytes);
  } else if (type != kTypeIpv4 && type != kTypeIpv6) {
    out.kind = PhysicalIndex::Kind::kOtherType;
  }  // an IPv4 or IPv6 type with the other's length stays a bad index
  return out;
}

}  // namespace vexa

#include "arp/neighbour_table.h"

#include <array>
#include <climits>

#include "arp/ipv6_text.h"
#include "snmp/oid_text.h"

namespace vexa {

namespace {

// InetAddressType values.
constexpr uint32_t kTypeIpv4 = 1;
constexpr uint32_t kTypeIpv6 = 2;

// An index's arcs (it begins with its dot) into `arcs`; how many, or none
// where it is no index.
size_t IndexArcs(std::string_view index, std::span<uint32_t> arcs) {
  if (index.empty() || index.front() != '.') return 0;
  return snmp::ReadArcs(index, arcs).value_or(0);
}

std::string DottedQuad(std::span<const uint32_t> octets) {
  return std::to_string(octets[0]) + '.' + std::to_string(octets[1]) + '.' +
         std::to_string(octets[2]) + '.' + std::to_string(octets[3]);
}

}  // namespace

PhysicalIndex DecodePhysicalIndex(std::string_view index) {
  PhysicalIndex out;
  // The interface, type, length and at most 255 octets.
  std::array<uint32_t, 3 + 255> storage;
  const size_t count = IndexArcs(index, storage);
  const std::span<const uint32_t> arcs(storage.data(), count);
  if (arcs.size() < 3 || arcs[0] > INT32_MAX) return out;
  const uint32_t type = arcs[1];
  const uint32_t length = arcs[2];
  const std::span<const uint32_t> octets = arcs.subspan(3);
  if (length != octets.size()) return out;
  for (const uint32_t octet : octets)
    if (octet > 255) return out;
  out.if_index = static_cast<int32_t>(arcs[0]);

  if (type == kTypeIpv4 && length == 4) {
    out.kind = PhysicalIndex::Kind::kAddress;
    out.address = DottedQuad(octets);
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

PhysicalIndex DecodeMediaIndex(std::string_view index) {
  PhysicalIndex out;
  std::array<uint32_t, 5> arcs;
  if (IndexArcs(index, arcs) != arcs.size() || arcs[0] > INT32_MAX) return out;
  for (size_t i = 1; i < arcs.size(); ++i)
    if (arcs[i] > 255) return out;
  out.kind = PhysicalIndex::Kind::kAddress;
  out.if_index = static_cast<int32_t>(arcs[0]);
  out.address = DottedQuad(std::span<const uint32_t>(arcs).subspan(1));
  return out;
}

}  // namespace vexa

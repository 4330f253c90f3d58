// Fuzz target for the reading of ipNetToPhysicalTable indexes, which come
// from the agent. Any text must be read or refused without reading outside
// it, and every address kept must be text that parses back to itself: dotted
// decimal, or IPv6 in the canonical form its own bytes format to.
#include <arpa/inet.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "arp/ipv6_text.h"
#include "arp/neighbour_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const vexa::PhysicalIndex index = vexa::DecodePhysicalIndex(text);
  if (index.kind != vexa::PhysicalIndex::Kind::kAddress) return 0;
  if (index.if_index < 0) __builtin_trap();
  std::array<uint8_t, 16> bytes{};
  if (::inet_pton(AF_INET, index.address.c_str(), bytes.data()) == 1) return 0;
  if (::inet_pton(AF_INET6, index.address.c_str(), bytes.data()) != 1) __builtin_trap();
  if (vexa::Ipv6Text(bytes) != index.address) __builtin_trap();
  return 0;
}

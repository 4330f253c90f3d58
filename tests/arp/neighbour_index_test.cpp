// Rows of ipNetToPhysicalTable named by their index: the addresses kept, in
// the text they are stored and exported as, and the indexes passed over.
#include <gtest/gtest.h>

#include "arp/neighbour_table.h"

namespace vexa {
namespace {

using Kind = PhysicalIndex::Kind;

// The index of an IPv6 address given as 16 octets.
std::string V6(const char* octets) {
  return std::string(".7.2.16.") + octets;
}

TEST(NeighbourIndex, AddressesAndTheirTextOrRowsPassedOver) {
  const struct {
    std::string index;
    Kind kind;
    int32_t if_index;
    std::string address;
  } cases[] = {
      {".3.1.4.192.0.2.10", Kind::kAddress, 3, "192.0.2.10"},
      {".2147483647.1.4.0.0.0.0", Kind::kAddress, 2147483647, "0.0.0.0"},
      // Canonical text: lower case, no leading zeros, the longest zero run
      // compressed, the first of two equal runs, a lone zero group kept.
      {V6("32.1.13.184.0.0.0.0.0.0.0.0.0.0.0.10"), Kind::kAddress, 7, "2001:db8::a"},
      {V6("32.1.13.184.0.0.0.0.0.1.0.0.0.0.0.11"), Kind::kAddress, 7, "2001:db8::1:0:0:b"},
      {V6("32.1.13.184.0.0.0.1.0.0.0.0.0.1.0.1"), Kind::kAddress, 7, "2001:db8:0:1::1:1"},
      {V6("32.1.13.184.0.1.0.0.0.1.0.1.0.1.0.1"), Kind::kAddress, 7, "2001:db8:1:0:1:1:1:1"},
      {V6("254.128.0.0.0.0.0.0.2.0.0.255.254.0.0.1"), Kind::kAddress, 7, "fe80::200:ff:fe00:1"},
      {V6("171.205.0.0.0.0.0.0.0.0.0.0.0.0.0.0"), Kind::kAddress, 7, "abcd::"},
      {V6("0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0"), Kind::kAddress, 7, "::"},
      {V6("0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.1"), Kind::kAddress, 7, "::1"},
      {V6("0.0.0.0.0.0.0.0.0.0.255.255.192.0.2.1"), Kind::kAddress, 7, "::ffff:192.0.2.1"},
      {V6("0.0.0.0.0.0.0.0.0.0.0.0.192.0.2.1"), Kind::kAddress, 7, "::c000:201"},
      // Zoned addresses, DNS names, unknown types: well-formed, not kept.
      {".5.4.20.254.128.0.0.0.0.0.0.0.0.0.0.0.0.0.1.0.0.0.2", Kind::kOtherType, 0, ""},
      {".5.3.8.192.0.2.1.0.0.0.2", Kind::kOtherType, 0, ""},
      {".5.16.3.97.98.99", Kind::kOtherType, 0, ""},
      {".5.0.0", Kind::kOtherType, 0, ""},
      // Lengths that lie, octets over 255, an address of the other family's
      // length, an interface out of range, and texts that are no index.
      {".2.2.16.32.1.13.184.0.0.0.0.0.0.0.0.0.0.0", Kind::kBadIndex, 0, ""},
      {".2.2.15.32.1.13.184.0.0.0.0.0.0.0.0.0.0.0.10", Kind::kBadIndex, 0, ""},
      {".2.2.255.32.1", Kind::kBadIndex, 0, ""},
      {".2.1.4.192.0.2.256", Kind::kBadIndex, 0, ""},
      {".2.1.16.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.1", Kind::kBadIndex, 0, ""},
      {".2.2.4.192.0.2.1", Kind::kBadIndex, 0, ""},
      {".2147483648.1.4.192.0.2.1", Kind::kBadIndex, 0, ""},
      {".4294967296.1.4.192.0.2.1", Kind::kBadIndex, 0, ""},
      {".2.1", Kind::kBadIndex, 0, ""},
      {"", Kind::kBadIndex, 0, ""},
      {"2.1.4.192.0.2.1", Kind::kBadIndex, 0, ""},
      {".2.1.4.192.0.2.1.", Kind::kBadIndex, 0, ""},
      {".2..1.4.192.0.2.1", Kind::kBadIndex, 0, ""},
      {".2.1.4.192.0.2.-1", Kind::kBadIndex, 0, ""},
      {std::string(".2.1.4.192.0.2.1\0", 17), Kind::kBadIndex, 0, ""},
  };
  for (const auto& c : cases) {
    const PhysicalIndex got = DecodePhysicalIndex(c.index);
    EXPECT_EQ(got.kind, c.kind) << c.index;
    if (c.kind != Kind::kAddress) continue;
    EXPECT_EQ(got.if_index, c.if_index) << c.index;
    EXPECT_EQ(got.address, c.address) << c.index;
  }
}

}  // namespace
}  // namespace vexa

// Addresses typed into a query: every notation an operator may paste, and
// the texts that must be refused rather than matched loosely.
#include "arp/address_query.h"

#include <gtest/gtest.h>

namespace vexa {
namespace {

std::string Hex(const std::optional<std::string>& bytes) {
  if (!bytes) return "none";
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (const char c : *bytes) {
    out += kHex[static_cast<unsigned char>(c) >> 4];
    out += kHex[static_cast<unsigned char>(c) & 0x0f];
  }
  return out;
}

TEST(AddressQuery, MacAddressesAndPrefixesInEveryNotation) {
  const struct {
    const char* typed;
    const char* address;  // "" when it is no whole address
    const char* prefix;   // "" when it is no prefix either
  } cases[] = {
      {"00:1a:2b:3c:4d:5e", "00 1a 2b 3c 4d 5e", "00 1a 2b 3c 4d 5e"},
      {"00-1A-2B-3C-4D-5E", "00 1a 2b 3c 4d 5e", "00 1a 2b 3c 4d 5e"},
      {"001a.2b3c.4d5e", "00 1a 2b 3c 4d 5e", "00 1a 2b 3c 4d 5e"},
      {"001A2B3C4D5E", "00 1a 2b 3c 4d 5e", "00 1a 2b 3c 4d 5e"},
      {" 00 1a 2b 3c 4d 5e\t", "00 1a 2b 3c 4d 5e", "00 1a 2b 3c 4d 5e"},
      {"0:1a:2b:3c:4d:5e", "00 1a 2b 3c 4d 5e", "00 1a 2b 3c 4d 5e"},
      {"00:1a:2b", "", "00 1a 2b"},
      {"001a2b", "", "00 1a 2b"},
      {"001a2b3", "", "00 1a 2b 3"},
      {"001a.2b3", "", "00 1a 2b 3"},
      {"00:1a:2b:3", "", "00 1a 2b 03"},
      // Too short, too long, mixed or foreign separators, not hexadecimal.
      {"001a2", "", ""},
      {"00:1a", "", ""},
      {"00:1a:2b:3c:4d:5e:6f", "", ""},
      {"001a2b3c4d5e6f", "", ""},
      {"00:1a-2b:3c:4d:5e", "", ""},
      {"00::1a:2b:3c:4d", "", ""},
      {"001.a2b3.c4d5e", "", ""},
      {"00:1a:2b:3c:4d:5g", "", ""},
      {"000:1a:2b:3c:4d:5e", "", ""},
      {"", "", ""},
      {"10.0.0.1", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(ParseMacAddress(c.typed).value_or(""), c.address);
    EXPECT_EQ(ParseMacPrefix(c.typed).value_or(""), c.prefix);
  }
}

TEST(AddressQuery, IpAddressesAndRangesAsTheStoreKeepsThem) {
  const struct {
    const char* typed;
    const char* canonical;  // "" when it is no address
    const char* low;        // "none" when it is no address or prefix
    const char* high;
  } cases[] = {
      {"192.0.2.7", "192.0.2.7", "c0000207", "c0000207"},
      {" 192.0.2.7 ", "192.0.2.7", "c0000207", "c0000207"},
      {"192.0.2.7/24", "", "c0000200", "c00002ff"},
      {"10.0.0.0/8", "", "0a000000", "0affffff"},
      {"10.1.0.0/16", "", "0a010000", "0a01ffff"},
      {"0.0.0.0/0", "", "00000000", "ffffffff"},
      {"2001:DB8:0:0::1", "2001:db8::1", "20010db8000000000000000000000001",
       "20010db8000000000000000000000001"},
      {"2001:db8::/48", "", "20010db8000000000000000000000000", "20010db80000ffffffffffffffffffff"},
      {"::ffff:192.0.2.1", "::ffff:192.0.2.1", "00000000000000000000ffffc0000201",
       "00000000000000000000ffffc0000201"},
      {"192.0.2.0/33", "", "none", ""},
      {"192.0.2.0/", "", "none", ""},
      {"192.0.2.0/-1", "", "none", ""},
      {"192.0.2.0/2a", "", "none", ""},
      {"fe80::1%eth0", "", "none", ""},
      {"192.0.2", "", "none", ""},
      {"host.example", "", "none", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    EXPECT_EQ(CanonicalIp(c.typed).value_or(""), c.canonical);
    const auto range = ParseIpRange(c.typed);
    EXPECT_EQ(Hex(range ? std::optional(range->low) : std::nullopt), c.low);
    if (range) {
      EXPECT_EQ(Hex(range->high), c.high);
    }
  }
  EXPECT_EQ(Hex(IpKeyOf("10.0.0.1")), "0a000001");
  EXPECT_EQ(Hex(IpKeyOf("00 1a 2b 3c 4d 5e")), "none");
}

}  // namespace
}  // namespace vexa

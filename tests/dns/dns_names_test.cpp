// Address texts, their reverse names, the server list syntax and the guard
// on names that reach the export.
#include <gtest/gtest.h>

#include "dns/dns_servers.h"
#include "dns/host_name_check.h"
#include "dns/reverse_name.h"
#include "support/dns_server.h"

namespace vexa::dns {
namespace {

TEST(ReverseNameTest, BuildsInAddrAndIp6ArpaNames) {
  for (const std::string& text :
       std::vector<std::string>{"192.0.2.1", "10.0.0.255", "0.0.0.0", "2001:db8::53", "::1",
                                "fe80::1:2:3:4", "::ffff:192.0.2.9"}) {
    const auto address = ParseIpAddress(text);
    ASSERT_TRUE(address) << text;
    EXPECT_EQ(ReverseLookupName(*address), test::PtrOwnerName(text)) << text;
  }
  EXPECT_EQ(ReverseLookupName(*ParseIpAddress("1.2.3.4")), "4.3.2.1.in-addr.arpa");
  EXPECT_EQ(ReverseLookupName(*ParseIpAddress("2001:db8::1")),
            "1.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.0.8.b.d.0.1.0.0.2.ip6.arpa");
}

TEST(ReverseNameTest, RefusesTextsThatAreNotOneAddress) {
  for (const std::string& text : std::vector<std::string>{
           "", "10.0.0", "10.0.0.1.5", "256.1.1.1", " 10.0.0.1", "10.0.0.1 ", "10.0.0.1/24",
           "host.example", "::g", "fe80::1%eth0", "1:2:3:4:5:6:7:8:9", "0x0a.0.0.1",
           std::string("10.0.0.1\0junk", 13), std::string(100, '1')})
    EXPECT_FALSE(ParseIpAddress(text)) << text;
}

TEST(DnsServersTest, ReadsEveryAcceptedForm) {
  std::string error;
  const auto servers =
      ParseDnsServers(" 127.0.0.1:5353, 127.0.0.2 ,[::1]:5300,::1,[2001:db8::5]", error);
  ASSERT_TRUE(servers) << error;
  ASSERT_EQ(servers->size(), 5u);
  EXPECT_EQ((*servers)[0], (DnsServer{*ParseIpAddress("127.0.0.1"), 5353}));
  EXPECT_EQ((*servers)[1], (DnsServer{*ParseIpAddress("127.0.0.2"), 53}));
  EXPECT_EQ((*servers)[2], (DnsServer{*ParseIpAddress("::1"), 5300}));
  EXPECT_EQ((*servers)[3], (DnsServer{*ParseIpAddress("::1"), 53}));
  EXPECT_EQ((*servers)[4], (DnsServer{*ParseIpAddress("2001:db8::5"), 53}));
}

TEST(DnsServersTest, NamesTheEntryItCannotUse) {
  for (const std::string& text : std::vector<std::string>{
           "", " , ", "localhost", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:", "127.0.0.1:53x",
           "[::1", "[::1]5353", "[127.0.0.1]:53", "::1:5353x", "127.0.0.1:53,dns.example"}) {
    std::string error;
    EXPECT_FALSE(ParseDnsServers(text, error)) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::string error;
  ParseDnsServers("127.0.0.1, name\tserver", error);
  EXPECT_EQ(error,
            "'name?server' is not a DNS server address (address, address:port or [IPv6]:port)");
}

TEST(HostNameCheckTest, KeepsOrdinaryNamesAndRefusesWhatWouldBreakALine) {
  EXPECT_TRUE(IsListableHostName("router-1.example.net"));
  EXPECT_TRUE(IsListableHostName("HOST-ERROR.example"));   // not this layer's business
  EXPECT_TRUE(IsListableHostName("b\xC3\xBCro.example"));  // UTF-8 bytes are no control bytes
  EXPECT_TRUE(IsListableHostName(std::string(255, 'a')));
  EXPECT_FALSE(IsListableHostName(std::string(256, 'a')));
  EXPECT_FALSE(IsListableHostName(""));
  for (const char bad : {'\t', '\r', '\n', '\0', '\x01', '\x1F', '\x7F'}) {
    std::string name = "host.example";
    name.insert(4, 1, bad);
    EXPECT_FALSE(IsListableHostName(name)) << static_cast<int>(bad);
  }
}

TEST(HostNameCheckTest, ExcerptsAreShortAndPrintable) {
  EXPECT_EQ(PrintableExcerpt("10.0.0"), "10.0.0");
  EXPECT_EQ(PrintableExcerpt("a\r\nb\tc\x7F"), "a??b?c?");
  EXPECT_EQ(PrintableExcerpt(std::string(70, 'x'), 64), std::string(64, 'x') + "...");
}

}  // namespace
}  // namespace vexa::dns

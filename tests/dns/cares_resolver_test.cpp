// The c-ares resolver against a real dnsmasq on loopback: names, the
// "no name" outcomes, failures, order within a batch, time limits and the
// server list.
#include "dns/cares_reverse_resolver.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>

#include "dns/dns_servers.h"
#include "scripted_dns_responder.h"
#include "support/dns_server.h"

namespace vexa::dns {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

LookupResult Name(const std::string& name) {
  return {LookupOutcome::kName, name};
}

// A UDP socket bound on loopback that nobody reads: queries to it vanish.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t length = sizeof addr;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length);
    spec_ = "127.0.0.1:" + std::to_string(ntohs(addr.sin_port));
  }
  ~SilentServer() { ::close(fd_); }
  const std::string& spec() const { return spec_; }

 private:
  int fd_ = -1;
  std::string spec_;
};

class CaresResolverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    test::DnsmasqOptions options;
    options.local_zones = {"2.0.192.in-addr.arpa", "8.b.d.0.1.0.0.2.ip6.arpa"};
    options.extra_config = {"txt-record=" + test::PtrOwnerName("192.0.2.20") + ",only-text"};
    server_ = new test::DnsmasqServer(
        {
            {"192.0.2.10", "router-a.example.test"},
            {"192.0.2.11", "host-error.example.test"},
            {"2001:db8::53", "v6-host.example.test"},
            {"127.0.0.1", "loopback.from-dns.test"},
        },
        options);
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  CaresResolverOptions Options() const {
    CaresResolverOptions options;
    options.servers = server_->ServerSpec();
    return options;
  }

  static test::DnsmasqServer* server_;
  SystemClock clock;
  EventLoop loop{clock};
};

test::DnsmasqServer* CaresResolverTest::server_ = nullptr;

TEST_F(CaresResolverTest, MixedBatchGivesOneResultPerAddressInInputOrder) {
  CaresReverseResolver resolver(loop, Options());
  const std::vector<std::string> addresses = {
      "192.0.2.10",    // PTR record
      "10.0.0",        // not an address
      "192.0.2.99",    // in a local zone, no record: NXDOMAIN
      "2001:db8::53",  // IPv6 PTR record
      "203.0.113.5",   // outside every zone, no upstream: REFUSED
      "192.0.2.11",    // a name holding "error" is still a name
      "192.0.2.20",    // the name exists with a TXT record only: NODATA
      "",              // not an address
      "192.0.2.10",    // the same address again
  };
  const std::vector<LookupResult> results = resolver.LookupAll(addresses);
  ASSERT_EQ(results.size(), addresses.size());
  EXPECT_EQ(results[0], Name("router-a.example.test")) << server_->Log();
  EXPECT_EQ(results[1], (LookupResult{LookupOutcome::kFailed, "'10.0.0' is not an IP address"}));
  EXPECT_EQ(results[2].outcome, LookupOutcome::kNotFound) << results[2].text;
  EXPECT_EQ(results[3], Name("v6-host.example.test"));
  EXPECT_EQ(results[4].outcome, LookupOutcome::kServerError) << results[4].text;
  EXPECT_EQ(results[5], Name("host-error.example.test"));
  EXPECT_EQ(results[6].outcome, LookupOutcome::kNotFound) << results[6].text;
  EXPECT_EQ(results[7], (LookupResult{LookupOutcome::kFailed, "'' is not an IP address"}));
  EXPECT_EQ(results[8], Name("router-a.example.test"));
  for (size_t i : {2u, 4u, 6u}) EXPECT_TRUE(results[i].NoName()) << i;

  // One lookup at a time gives exactly what the batch gave.
  for (size_t i = 0; i < addresses.size(); ++i)
    EXPECT_EQ(resolver.Lookup(addresses[i]), results[i]) << addresses[i];
}

TEST_F(CaresResolverTest, AThousandAddressesComeBackInOrderWhateverTheConcurrency) {
  std::map<std::string, std::string> names;
  std::vector<std::string> addresses;
  for (int i = 0; i < 1000; ++i) {
    const std::string address = "198.18." + std::to_string(i / 256) + "." + std::to_string(i % 256);
    addresses.push_back(address);
    if (i % 3 != 0) names[address] = "bulk-" + std::to_string(i) + ".example.test";
  }
  test::DnsmasqOptions dns_options;
  dns_options.local_zones = {"18.198.in-addr.arpa"};
  test::DnsmasqServer bulk(names, dns_options);
  CaresResolverOptions options;
  options.servers = bulk.ServerSpec();

  const std::vector<LookupResult> results =
      CaresReverseResolver(loop, options).LookupAll(addresses);
  ASSERT_EQ(results.size(), addresses.size());
  for (int i = 0; i < 1000; ++i) {
    if (i % 3 != 0)
      ASSERT_EQ(results[i], Name("bulk-" + std::to_string(i) + ".example.test")) << i;
    else
      ASSERT_EQ(results[i].outcome, LookupOutcome::kNotFound) << i << " " << results[i].text;
  }
  options.max_in_flight = 7;
  EXPECT_EQ(CaresReverseResolver(loop, options).LookupAll(addresses), results);
}

TEST_F(CaresResolverTest, ServerListComesFromTheEnvironmentAndKeepsEtcHostsOut) {
  ::setenv(kDnsServersVariable, server_->ServerSpec().c_str(), 1);
  const CaresResolverOptions options = ResolverOptionsFromEnvironment();
  ::unsetenv(kDnsServersVariable);
  EXPECT_EQ(options.servers, server_->ServerSpec());
  EXPECT_EQ(ResolverOptionsFromEnvironment().servers, "");
  // /etc/hosts calls 127.0.0.1 "localhost"; with a server list only DNS answers.
  EXPECT_EQ(CaresReverseResolver(loop, options).Lookup("127.0.0.1"),
            Name("loopback.from-dns.test"));
}

TEST_F(CaresResolverTest, AnUnusableServerListFailsEveryLookupWithItsReason) {
  CaresResolverOptions options;
  options.servers = "dns.example";
  const auto results = CaresReverseResolver(loop, options).LookupAll({"192.0.2.10", "1.2.3"});
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[0], (LookupResult{LookupOutcome::kFailed,
                                      "DNS server list unusable: 'dns.example' is not a DNS "
                                      "server address (address, address:port or [IPv6]:port)"}));
  EXPECT_EQ(results[1], (LookupResult{LookupOutcome::kFailed, "'1.2.3' is not an IP address"}));
}

TEST_F(CaresResolverTest, ServerOnIpv6Loopback) {
  test::DnsmasqOptions dns_options;
  dns_options.listen_address = "::1";
  test::DnsmasqServer v6({{"192.0.2.30", "over-v6.example.test"}}, dns_options);
  CaresResolverOptions options;
  options.servers = v6.ServerSpec();
  EXPECT_EQ(CaresReverseResolver(loop, options).Lookup("192.0.2.30"), Name("over-v6.example.test"))
      << v6.Log();
}

TEST_F(CaresResolverTest, SilentServerEndsInTimeOutsWithinTheLimit) {
  SilentServer silent;
  CaresResolverOptions options;
  options.servers = silent.spec();
  options.timeout = milliseconds(300);
  const auto start = Clock::now();
  const auto results =
      CaresReverseResolver(loop, options).LookupAll({"192.0.2.1", "192.0.2.2", "2001:db8::1"});
  const auto took = Clock::now() - start;
  for (const LookupResult& r : results) EXPECT_EQ(r.outcome, LookupOutcome::kTimedOut) << r.text;
  // Concurrent lookups share the limit; the 5 s default must not apply.
  EXPECT_LT(took, std::chrono::seconds(3));
}

TEST_F(CaresResolverTest, NextServerAnswersWhenTheFirstIsSilent) {
  // The per-try time is a share of the limit, so a second server gets its
  // turn before the lookup's limit runs out.
  SilentServer silent;
  CaresResolverOptions options;
  options.servers = silent.spec() + "," + server_->ServerSpec();
  options.timeout = milliseconds(3000);
  EXPECT_EQ(CaresReverseResolver(loop, options).Lookup("192.0.2.10"),
            Name("router-a.example.test"));
}

TEST_F(CaresResolverTest, NoServerListeningIsNoNameNotAFailure) {
  CaresResolverOptions options;
  options.servers = test::ServerSpecOf("127.0.0.1", test::FreePort("127.0.0.1"));
  options.timeout = milliseconds(1000);
  const LookupResult result = CaresReverseResolver(loop, options).Lookup("192.0.2.10");
  EXPECT_TRUE(result.NoName()) << OutcomeName(result.outcome) << ": " << result.text;
}

TEST_F(CaresResolverTest, LookupsWaitInTheLoopWhereCancelAllEndsThemAtOnce) {
  SilentServer silent;
  CaresResolverOptions options;
  options.servers = silent.spec();
  options.max_in_flight = 2;
  CaresReverseResolver resolver(loop, options);
  // Other events go on while the lookups wait; the third tick cancels them.
  int ticks = 0;
  PeriodicTimer ticker(loop, milliseconds(100), [&] {
    if (++ticks == 3) resolver.CancelAll();
  });
  ticker.SetEnabled(true);
  const auto start = Clock::now();
  const auto results = resolver.LookupAll({"192.0.2.1", "192.0.2.2", "192.0.2.3"});
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));  // not the 5 s limit
  EXPECT_EQ(ticks, 3);
  for (const LookupResult& r : results) EXPECT_TRUE(r.Cancelled()) << r;
}

TEST(CaresInFlightTest, NoMoreLookupsInFlightThanAllowed) {
  SystemClock clock;
  EventLoop loop{clock};
  std::mutex mutex;
  std::vector<Clock::time_point> arrivals;
  test::ScriptedDnsResponder silent([&](const test::DnsQuery&) -> std::optional<std::string> {
    std::lock_guard lock(mutex);
    arrivals.push_back(Clock::now());
    return std::nullopt;
  });
  CaresResolverOptions options;
  options.servers = silent.ServerSpec();
  options.timeout = milliseconds(400);
  options.tries = 1;
  options.max_in_flight = 3;
  const auto results =
      CaresReverseResolver(loop, options)
          .LookupAll({"192.0.2.1", "192.0.2.2", "192.0.2.3", "192.0.2.4", "192.0.2.5"});
  for (const LookupResult& r : results) EXPECT_EQ(r.outcome, LookupOutcome::kTimedOut);
  std::lock_guard lock(mutex);
  ASSERT_EQ(arrivals.size(), 5u);
  // The fourth query waits for one of the first three to reach its limit.
  EXPECT_GE(arrivals[3] - arrivals[0], milliseconds(300));
}

}  // namespace
}  // namespace vexa::dns

// Answers no real server gives on demand, from a scripted responder: names
// that would break the export's lines, over-long names and broken packets.
// None may crash the resolver or reach the list as a name; the well-formed
// ones among them still give their name, case kept.
#include <gtest/gtest.h>

#include <map>

#include "dns/cares_reverse_resolver.h"
#include "scripted_dns_responder.h"
#include "support/dns_server.h"

namespace vexa::dns {
namespace {

using test::ReplyBuilder;
using Reply = std::function<std::string(const ReplyBuilder&)>;

struct Case {
  Reply reply;
  LookupOutcome expected;
  std::string name = "";  // for kName
};

Reply Ptr(std::vector<std::string> labels) {
  return [labels](const ReplyBuilder& r) { return r.PtrAnswer(labels); };
}

// One address per case; the responder picks the reply by the queried name.
std::map<std::string, Case> Cases() {
  const std::string a63(63, 'a'), b63(63, 'b'), c63(63, 'c'), d61(61, 'd');
  return {
      {"192.0.2.1", {Ptr({"tab\there", "example"}), LookupOutcome::kBadAnswer}},
      {"192.0.2.2", {Ptr({"line\r\nbreak", "example"}), LookupOutcome::kBadAnswer}},
      {"192.0.2.3", {Ptr({"del\x7F", "example"}), LookupOutcome::kBadAnswer}},
      {"192.0.2.4",
       {Ptr({"nul" + std::string(1, '\0') + "x", "example"}), LookupOutcome::kBadAnswer}},
      {"192.0.2.5", {Ptr({a63, b63, c63, d61, "eeeee"}), LookupOutcome::kBadAnswer}},  // > 255
      {"192.0.2.6",
       {[](const ReplyBuilder& r) {
          const std::string whole = r.PtrAnswer({"cut", "example"});
          return whole.substr(0, whole.size() - 6);  // ends inside the PTR target
        },
        LookupOutcome::kBadAnswer}},
      {"192.0.2.7",
       {[](const ReplyBuilder& r) { return r.PointerLoop(); }, LookupOutcome::kBadAnswer}},
      {"192.0.2.8",
       {[](const ReplyBuilder& r) {
          return r.PtrAnswerFor(test::PtrOwnerName("192.0.2.200"), "someone-else.example");
        },
        LookupOutcome::kNotFound}},
      {"192.0.2.9",
       {[](const ReplyBuilder& r) { return r.Empty(2); },  // SERVFAIL
        LookupOutcome::kServerError}},
      {"192.0.2.10",
       {[](const ReplyBuilder& r) { return r.Empty(3); },  // NXDOMAIN
        LookupOutcome::kNotFound}},
      // Shorter than a header, and the right id followed by noise: both
      // ignored, so the lookup runs into its limit.
      {"192.0.2.11",
       {[](const ReplyBuilder& r) { return r.Empty(0).substr(0, 7); }, LookupOutcome::kTimedOut}},
      {"192.0.2.12",
       {[](const ReplyBuilder& r) {
          std::string junk = r.Empty(0).substr(0, 2);
          for (int i = 0; i < 40; ++i) junk += static_cast<char>(i * 37 + 11);
          return junk;
        },
        LookupOutcome::kTimedOut}},
      // 253 characters, the most a name can have: still a name.
      {"192.0.2.13",
       {Ptr({a63, b63, c63, d61}), LookupOutcome::kName, a63 + "." + b63 + "." + c63 + "." + d61}},
      // dnsmasq lowercases every name it serves; case is kept as given.
      {"192.0.2.14",
       {Ptr({"Router-ERROR", "Example"}), LookupOutcome::kName, "Router-ERROR.Example"}},
  };
}

TEST(HostileAnswerTest, NoHostileAnswerBecomesANameOrAFailure) {
  const std::map<std::string, Case> cases = Cases();
  std::map<std::string, const Case*> case_of_query;
  for (const auto& [address, c] : cases) case_of_query[test::PtrOwnerName(address)] = &c;
  test::ScriptedDnsResponder responder(
      [&](const test::DnsQuery& query) -> std::optional<std::string> {
        const auto found = case_of_query.find(query.name);
        if (found == case_of_query.end()) return std::nullopt;
        return found->second->reply(ReplyBuilder(query));
      });

  CaresResolverOptions options;
  options.servers = responder.ServerSpec();
  options.timeout = std::chrono::milliseconds(500);
  std::vector<std::string> addresses;
  for (const auto& [address, c] : cases) addresses.push_back(address);
  SystemClock clock;
  EventLoop loop{clock};
  const std::vector<LookupResult> results =
      CaresReverseResolver(loop, options).LookupAll(addresses);
  ASSERT_EQ(results.size(), addresses.size());

  for (size_t i = 0; i < addresses.size(); ++i) {
    const Case& c = cases.at(addresses[i]);
    EXPECT_EQ(results[i].outcome, c.expected) << addresses[i] << ": " << results[i];
    if (c.expected == LookupOutcome::kName) {
      EXPECT_EQ(results[i].text, c.name) << addresses[i];
    }
  }
}

}  // namespace
}  // namespace vexa::dns

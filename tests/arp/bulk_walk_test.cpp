// The walk with GETBULK against a scripted agent on the simulated clock: the
// faults that make it ask for less or go on with get-next, and its traces.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "arp/mac_format.h"
#include "arp/walk.h"
#include "platform/local_time.h"
#include "support/scripted_agent.h"
#include "support/test_folder.h"
#include "support/walker_parts.h"

namespace vexa {
namespace {

using test::ScriptedAgent;

// 127.31.x.y from the process id, so test processes may run side by side.
std::string AgentAddress() {
  const int pid = static_cast<int>(::getpid());
  return "127.31." + std::to_string((pid >> 8) & 255) + "." + std::to_string(pid & 255);
}

class ArpBulkWalkTest : public ::testing::Test, protected test::WalkerParts<SimulatedClock> {
 protected:
  ArpBulkWalkTest() : WalkerParts(FromLocal({2024, 3, 5, 14, 3, 7})) { settings.use_bulk = true; }
  std::string Debug(const std::string& name) { return test::ReadFile(folder + "/Debug/" + name); }
  // The repetitions of each GETBULK received, 0 for a get-next.
  std::vector<int32_t> Asked() const {
    std::vector<int32_t> asked;
    for (const snmp::Message& m : agent.requests)
      asked.push_back(m.pdu_type == snmp::pdu::kGetBulkRequest ? m.error_index : 0);
    return asked;
  }

  std::string router = AgentAddress();
  ScriptedAgent agent{loop, router};
};

TEST_F(ArpBulkWalkTest, EveryFaultStillGivesTheRowsOfTheTable) {
  // How the agent spoils its answer to a GETBULK; false: no answer at all.
  // Get-next answers stay whole.
  using Spoil = std::function<bool(const snmp::Message& request, snmp::Message& reply)>;
  const Spoil none = [](const snmp::Message&, snmp::Message&) { return true; };
  // An error answer carries no bindings, as agents send tooBig.
  const auto status = [](int32_t error, int32_t above) -> Spoil {
    return [=](const snmp::Message& request, snmp::Message& reply) {
      if (request.error_index > above) {
        reply.error_status = error;
        reply.bindings.clear();
      }
      return true;
    };
  };
  const auto cut_to = [](size_t n) -> Spoil {
    return [=](const snmp::Message&, snmp::Message& reply) {
      reply.bindings.resize(std::min(n, reply.bindings.size()));
      return true;
    };
  };
  const Spoil silent = [](const snmp::Message&, snmp::Message&) { return false; };
  const std::string fallback = "GETBULK to " + router + ": ";
  const std::string rest = "; the walk goes on with GET-NEXT";
  const struct {
    const char* name;
    int rows, snmp_version, repetitions;
    Spoil spoil;
    std::vector<int32_t> asked;  // the first requests' repetitions, 0 for get-next
    std::string logged;          // the event log's line, "" for none
  } cases[] = {
      {"plain", 60, 2, 25, none, {25, 25, 25}, ""},
      {"tooBig above 6", 30, 2, 25, status(1, 6), {25, 12, 6, 6}, ""},
      {"tooBig always",
       3,
       2,
       25,
       status(1, 0),
       {25, 12, 6, 3, 1, 0, 0},
       fallback + "error status 1" + rest},
      {"refused", 3, 2, 25, status(5, 0), {25, 0, 0, 0, 0}, fallback + "error status 5" + rest},
      // Get-next asks the first row again, then a GETBULK for the rest goes
      // unanswered too.
      {"ignored",
       3,
       2,
       25,
       silent,
       {25, 0, 25, 0, 0},
       fallback + "no answer to GETBULK within 5 s" + rest},
      {"ends mid-row", 10, 2, 4, cut_to(10), {4, 4, 4, 4, 4, 4}, ""},
      {"less than a row",
       2,
       2,
       25,
       cut_to(3),
       {25, 0, 0, 0},
       fallback + "an answer without a whole row" + rest},
      {"SNMPv1",
       2,
       1,
       25,
       none,
       {0, 0, 0},
       "SNMPv1 has no GETBULK; the routers are walked with GET-NEXT"},
  };
  settings.debug_mode = true;  // the traces must take every answer too
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(folder + "/Debug/AppEvent.txt");
    settings.snmp_version = c.snmp_version;
    settings.max_repetitions = c.repetitions;
    agent.rows = test::MakeRows(c.rows);
    agent.script = [&](const snmp::Message& request) {
      snmp::Message reply = agent.Answer(request);
      const bool bulk = request.pdu_type == snmp::pdu::kGetBulkRequest;
      return !bulk || c.spoil(request, reply) ? std::vector<snmp::Message>{reply}
                                              : std::vector<snmp::Message>{};
    };
    walker.SetEnabled(false);  // a new job
    walker.SetEnabled(true);
    // Twice: the next walk of a router tries GETBULK again; SNMPv1 is noted
    // once a job.
    for (int walk = 0; walk < 2; ++walk) {
      agent.requests.clear();
      result = walker.Walk(router);
      ASSERT_EQ(result.rows.size(), agent.rows.size());
      for (size_t i = 0; i < agent.rows.size(); ++i) {
        ASSERT_EQ(result.rows[i].ip_address, agent.rows[i].ip) << i;
        ASSERT_EQ(result.rows[i].mac_address, FormatMac(agent.rows[i].mac)) << i;
      }
      EXPECT_EQ(result.outcome, WalkOutcome::kEndOfTable);
      std::vector<int32_t> asked = Asked();
      asked.resize(std::min(asked.size(), c.asked.size()));
      EXPECT_EQ(asked, c.asked);
    }
    const auto lines = test::SplitCrLfLines(Debug("AppEvent.txt"));
    ASSERT_EQ(lines.size(), c.logged.empty() ? 0u : c.snmp_version == 1 ? 1u : 2u);
    if (!lines.empty()) {
      EXPECT_EQ(lines[0].substr(20), "3\tmodSnmpComm_GetArpTable\t" + c.logged);
    }
  }
}

TEST_F(ArpBulkWalkTest, RowsOfAResponseAreTakenInOrderAndNeverTwice) {
  settings.max_repetitions = 4;
  agent.rows = test::MakeRows(6);
  // The second response repeats its second row.
  agent.script = [this](const snmp::Message& m) {
    snmp::Message reply = agent.Answer(m);
    if (agent.requests.size() == 2)
      std::copy_n(reply.bindings.begin(), 4, reply.bindings.begin() + 4);
    return std::vector<snmp::Message>{reply};
  };
  result = walker.Walk(router);
  EXPECT_EQ(result.outcome, WalkOutcome::kNotIncreasing);
  ASSERT_EQ(result.rows.size(), 5u);  // four, then the first of the second response
  EXPECT_EQ(result.rows[4].ip_address, agent.rows[4].ip);
}

TEST_F(ArpBulkWalkTest, TracesShowTheBulkRequestsWithTheirRepetitions) {
  settings.debug_mode = true;
  settings.max_repetitions = 2;
  agent.rows = test::MakeRows(3);
  walker.Walk(router);
  const std::string col1 = "1.3.6.1.2.1.4.22.1.1";
  const auto index = [&](int i) {
    return "." + std::to_string(agent.rows[i].if_index) + "." + agent.rows[i].ip;
  };
  EXPECT_EQ(Debug("Snmp.txt"),
            "14:03:07 --> snmp_37\t1\t" + router + "\tpublic\tGetArpTable\t" + col1 +
                "\t\t2\r\n\r\n" + "14:03:07 <-- snmp_Rx\t1\tGetArpTable\t" + col1 + index(0) +
                "\t0\r\n\r\n" + "14:03:07 --> snmp_37\t2\t" + router + "\tpublic\tGetArpTable\t" +
                col1 + "\t" + index(1) + "\t2\r\n\r\n" + "14:03:07 <-- snmp_Rx\t2\tGetArpTable\t" +
                col1 + index(2) + "\t2\r\n\r\n");
}

}  // namespace
}  // namespace vexa

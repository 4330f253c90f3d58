// The walk with GETBULK against a scripted agent on the simulated clock: the
// faults that make it ask for less or go on with get-next, and its traces.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "arp_walk.h"
#include "mac_format.h"
#include "platform/local_time.h"
#include "support/scripted_agent.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using test::ScriptedAgent;

// 127.31.x.y from the process id, so test processes may run side by side.
std::string AgentAddress() {
  const int pid = static_cast<int>(::getpid());
  return "127.31." + std::to_string((pid >> 8) & 255) + "." + std::to_string(pid & 255);
}

class ArpBulkWalkTest : public ::testing::Test {
 protected:
  ArpBulkWalkTest() {
    ::mkdir((folder + "/Debug").c_str(), 0755);
    settings.community = "public";
    settings.timeout_seconds = 5;
    settings.retries = 2;
    settings.use_bulk = true;
    manager.Open();
  }
  std::string Debug(const std::string& name) { return test::ReadFile(folder + "/Debug/" + name); }
  // The repetitions of each GETBULK sent, 0 for a get-next.
  std::vector<int32_t> Asked() const {
    std::vector<int32_t> asked;
    for (const snmp::Message& m : agent.requests)
      asked.push_back(m.pdu_type == snmp::pdu::kGetBulkRequest ? m.error_index : 0);
    return asked;
  }

  test::TempDir dir;
  std::string folder = dir.path();
  std::string db;
  SimulatedClock clock{FromLocal({2024, 3, 5, 14, 3, 7})};
  EventLoop loop{clock};
  CollectorSettings settings;
  EventLog log{loop, folder};
  CollectorContext ctx{loop, log, folder, db, settings};
  snmp::Manager manager{loop};
  ArpWalker walker{ctx, manager};
  std::string router = AgentAddress();
  ScriptedAgent agent{loop, router};
};

TEST_F(ArpBulkWalkTest, EveryFaultStillGivesTheRowsOfTheTable) {
  using Script = std::function<std::vector<snmp::Message>(ScriptedAgent&, const snmp::Message&)>;
  const auto bulk = [](const snmp::Message& m) { return m.pdu_type == snmp::pdu::kGetBulkRequest; };
  const auto answer = [](ScriptedAgent& a, const snmp::Message& m) {
    return std::vector<snmp::Message>{a.Answer(m)};
  };
  // An error answer carries no bindings, as agents send tooBig.
  const auto with_status = [&](int32_t status, bool (*when)(const snmp::Message&)) -> Script {
    return [=](ScriptedAgent& a, const snmp::Message& m) {
      snmp::Message reply = a.Answer(m);
      if (when(m)) {
        reply.error_status = status;
        reply.bindings.clear();
      }
      return std::vector<snmp::Message>{reply};
    };
  };
  const auto cut_to = [&](size_t bindings) -> Script {
    return [=](ScriptedAgent& a, const snmp::Message& m) {
      snmp::Message reply = a.Answer(m);
      if (bulk(m) && reply.bindings.size() > bindings) reply.bindings.resize(bindings);
      return std::vector<snmp::Message>{reply};
    };
  };
  struct Case {
    const char* name;
    int rows;
    int snmp_version;
    int32_t repetitions;
    Script script;
    std::vector<int32_t> asked;  // the first requests' repetitions, 0 for get-next
    const char* logged;          // the one event-log line's text, "" for none
  };
  const Case cases[] = {
      {"plain", 60, 2, 25, answer, {25, 25, 25}, ""},
      {"the last request asks for one past the row limit", 20001, 2, 25, answer, {}, ""},
      {"tooBig above 6",
       30,
       2,
       25,
       with_status(snmp::error_status::kTooBig,
                   [](const snmp::Message& m) { return m.error_index > 6; }),
       {25, 12, 6, 6},
       ""},
      {"tooBig always",
       3,
       2,
       25,
       with_status(snmp::error_status::kTooBig,
                   [](const snmp::Message& m) { return m.pdu_type == snmp::pdu::kGetBulkRequest; }),
       {25, 12, 6, 3, 1, 0, 0, 0, 0},
       "GETBULK to R: error status 1; the walk goes on with GET-NEXT"},
      {"refused",
       3,
       2,
       25,
       with_status(5,
                   [](const snmp::Message& m) { return m.pdu_type == snmp::pdu::kGetBulkRequest; }),
       {25, 0, 0, 0, 0},
       "GETBULK to R: error status 5; the walk goes on with GET-NEXT"},
      {"ignored",
       3,
       2,
       25,
       [&](ScriptedAgent& a, const snmp::Message& m) {
         return bulk(m) ? std::vector<snmp::Message>{} : answer(a, m);
       },
       {25, 0, 0, 0, 0},
       "GETBULK to R: no answer to GETBULK within 5 s; the walk goes on with GET-NEXT"},
      {"ends mid-row", 10, 2, 4, cut_to(10), {4, 4, 4, 4, 4, 4}, ""},
      {"less than a row",
       2,
       2,
       25,
       cut_to(3),
       {25, 0, 0, 0},
       "GETBULK to R: an answer without a whole row; the walk goes on with GET-NEXT"},
      {"SNMPv1",
       2,
       1,
       25,
       answer,
       {0, 0, 0},
       "SNMPv1 has no GETBULK; the routers are walked with GET-NEXT"},
  };
  settings.debug_mode = true;  // the traces must take every answer too
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(folder + "/Debug/AppEvent.txt");
    settings.snmp_version = c.snmp_version;
    settings.max_repetitions = c.repetitions;
    agent.rows = test::MakeRows(c.rows);
    agent.requests.clear();
    agent.script = [&](const snmp::Message& m) { return c.script(agent, m); };
    walker.SetEnabled(false);  // a new job
    walker.SetEnabled(true);
    // Twice: the second walk of a router starts again with GETBULK, and
    // SNMPv1 is noted once a job.
    for (int walk = 0; walk < 2; ++walk) {
      const WalkResult result = walker.Walk(router);
      const size_t want = std::min<size_t>(agent.rows.size(), ArpRowBuffer::kCapacity);
      ASSERT_EQ(result.rows.size(), want);
      for (size_t i = 0; i < want; ++i) {
        ASSERT_EQ(result.rows[i].ip_address, agent.rows[i].ip) << i;
        ASSERT_EQ(result.rows[i].mac_address, FormatMac(agent.rows[i].mac)) << i;
        ASSERT_EQ(result.rows[i].type, agent.rows[i].type) << i;
      }
      EXPECT_EQ(result.outcome, c.rows > 20000 ? WalkOutcome::kRowLimit : WalkOutcome::kEndOfTable);
      if (walk == 0) {
        const std::vector<int32_t> asked = Asked();
        EXPECT_EQ(std::vector<int32_t>(asked.begin(),
                                       asked.begin() + std::min(asked.size(), c.asked.size())),
                  c.asked);
        if (c.rows > 20000) {
          EXPECT_EQ(asked.back(), 1);  // 800 GETBULKs of 25, then 1
        }
        agent.requests.clear();
      }
    }
    std::string logged = c.logged;
    if (const size_t r = logged.find(" R:"); r != std::string::npos)
      logged.replace(r + 1, 1, router);
    const auto lines = test::SplitCrLfLines(Debug("AppEvent.txt"));
    if (logged.empty()) {
      EXPECT_EQ(lines.size(), 0u);
    } else {
      // One line a walk, but one a job for SNMPv1.
      ASSERT_EQ(lines.size(), c.snmp_version == 1 ? 1u : 2u);
      EXPECT_EQ(lines[0].substr(20), "3\tmodSnmpComm_GetArpTable\t" + logged);
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
  WalkResult result = walker.Walk(router);
  EXPECT_EQ(result.outcome, WalkOutcome::kNotIncreasing);
  ASSERT_EQ(result.rows.size(), 5u);  // four, then the first of the second response
  EXPECT_EQ(result.rows[4].ip_address, agent.rows[4].ip);

  // Every response comes twice, and the second row's MAC address is too long
  // to format, so storing it waits for a log line.
  agent.rows[1].mac.assign(33000, 'x');
  agent.script = [this](const snmp::Message& m) {
    return std::vector<snmp::Message>{agent.Answer(m), agent.Answer(m)};
  };
  result = walker.Walk(router);
  EXPECT_EQ(result.outcome, WalkOutcome::kEndOfTable);
  ASSERT_EQ(result.rows.size(), 6u);
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(result.rows[i].ip_address, agent.rows[i].ip);
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

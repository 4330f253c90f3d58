// The walk of one router's ARP table against a scripted agent on the
// simulated clock: the exchanges, the traces byte for byte, re-sends, and
// every way a walk ends.
#include "arp/walk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "arp/mac_format.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "snmp/oid_text.h"
#include "support/scripted_agent.h"
#include "support/test_folder.h"
#include "support/walked_rows.h"
#include "support/walker_parts.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;
using test::ScriptedAgent;

// Test processes may run side by side, each with its own agent: the address
// 127.3.x.y is taken from the process id, with y chosen from `host`.
std::string AgentAddress(int host) {
  const int pid = static_cast<int>(::getpid());
  return "127." + std::to_string(3 + host) + "." + std::to_string((pid >> 8) & 255) + "." +
         std::to_string(pid & 255);
}

class ArpWalkTest : public ::testing::Test, protected test::WalkerParts<SimulatedClock> {
 protected:
  ArpWalkTest() : WalkerParts(FromLocal({2024, 3, 5, 14, 3, 7})) { settings.debug_mode = true; }

  void Walk(const std::string& router = "") {
    result = walker.Walk(router.empty() ? router_ : router);
  }
  std::string Debug(const std::string& name) { return ReadFile(folder + "/Debug/" + name); }
  // The instance part ".ifIndex.a.b.c.d" of a row.
  static std::string Index(const test::TableRow& r) {
    return "." + std::to_string(r.if_index) + "." + r.ip;
  }
  void ExpectRowsEqual(const std::vector<test::TableRow>& rows, int count) {
    ASSERT_EQ(result.rows.size(), static_cast<size_t>(count));
    for (int i = 1; i <= count; ++i) {
      const test::TableRow& want = rows[static_cast<size_t>(i - 1)];
      const ArpRow& got = result.rows[static_cast<size_t>(i - 1)];
      ASSERT_EQ(got.ip_address, want.ip) << "row " << i;
      ASSERT_EQ(got.mac_address, FormatMac(want.mac)) << "row " << i;
      ASSERT_EQ(got.if_index, want.if_index) << "row " << i;
      ASSERT_EQ(got.type, want.type) << "row " << i;
    }
  }

  std::string router_ = AgentAddress(0);
  ScriptedAgent agent{loop, router_};
};

TEST_F(ArpWalkTest, ShortWalkLeavesTheseTracesByteForByte) {
  agent.rows = test::MakeRows(2);
  Walk();
  ExpectRowsEqual(agent.rows, 2);
  EXPECT_EQ(result.outcome, WalkOutcome::kEndOfTable);
  const auto& r = agent.rows;
  const std::string col1 = "1.3.6.1.2.1.4.22.1.1";
  EXPECT_EQ(Debug("Snmp.txt"),
            "14:03:07 --> snmp_33\t1\t" + router_ + "\tpublic\tGetArpTable\t" + col1 +
                "\t\r\n\r\n" + "14:03:07 <-- snmp_Rx\t1\tGetArpTable\t" + col1 + Index(r[0]) +
                "\t0\r\n\r\n" + "14:03:07 --> snmp_33\t2\t" + router_ + "\tpublic\tGetArpTable\t" +
                col1 + "\t" + Index(r[0]) + "\r\n\r\n" + "14:03:07 <-- snmp_Rx\t2\tGetArpTable\t" +
                col1 + Index(r[1]) + "\t1\r\n\r\n" + "14:03:07 --> snmp_33\t3\t" + router_ +
                "\tpublic\tGetArpTable\t" + col1 + "\t" + Index(r[1]) + "\r\n\r\n" +
                "14:03:07 <-- snmp_Rx\t3\tGetArpTable\t" + "1.3.6.1.2.1.4.22.1.2" + Index(r[0]) +
                "\t2\r\n\r\n");
  EXPECT_FALSE(FileExists(folder + "/Debug/TimRes.txt"));
  EXPECT_FALSE(FileExists(folder + "/Debug/AppEvent2.txt"));
  // The requests carried the four columns in the walk's order.
  ASSERT_EQ(agent.requests.size(), 3u);
  const auto& b = agent.requests[1].bindings;
  ASSERT_EQ(b.size(), 4u);
  EXPECT_EQ(b[1].oid, "1.3.6.1.2.1.4.22.1.3" + Index(r[0]));
  EXPECT_EQ(b[2].oid, "1.3.6.1.2.1.4.22.1.2" + Index(r[0]));
  EXPECT_EQ(b[3].oid, "1.3.6.1.2.1.4.22.1.4" + Index(r[0]));
  EXPECT_EQ(agent.requests[1].community, "public");
  EXPECT_EQ(agent.requests[1].version, snmp::Version::kV2c);
}

TEST_F(ArpWalkTest, WalkOfNRowsTakesNPlusOneExchangesAndRequestIdsNeverReset) {
  settings.debug_mode = false;
  agent.rows = test::MakeRows(250);
  std::vector<size_t> progress;
  walker.OnProgress([&](size_t rows) { progress.push_back(rows); });
  Walk();
  ExpectRowsEqual(agent.rows, 250);
  EXPECT_EQ(progress.size(), 250u);
  EXPECT_EQ(progress.back(), 250u);
  EXPECT_EQ(walker.LastRequestId(), 251);
  EXPECT_FALSE(walker.Busy());
  EXPECT_FALSE(FileExists(folder + "/Debug/Snmp.txt"));

  agent.rows.clear();  // an empty table: one exchange, no row
  Walk();
  EXPECT_EQ(result.rows.size(), 0u);
  EXPECT_EQ(walker.LastRequestId(), 252);
}

TEST_F(ArpWalkTest, LostRepliesAreSentAgainUntilTheRetriesAreUsedUp) {
  agent.script = [](const snmp::Message&) { return std::vector<snmp::Message>{}; };
  Walk();
  EXPECT_EQ(agent.requests.size(), 3u);
  EXPECT_EQ(result.rows.size(), 0u);
  EXPECT_EQ(OutcomeText(result), "no answer");
  EXPECT_EQ(result.resends, 2);
  EXPECT_EQ(std::chrono::duration_cast<std::chrono::seconds>(result.duration).count(), 18);
  EXPECT_EQ(Debug("TimRes.txt"),
            "14:03:13\tReSend\t1\tGetArpTable\r\n"
            "14:03:19\tReSend\t2\tGetArpTable\r\n"
            "14:03:25\tReStop\t3\tGetArpTable\r\n");

  settings.retries = 0;
  ::unlink((folder + "/Debug/TimRes.txt").c_str());
  Walk();
  EXPECT_EQ(Debug("TimRes.txt"), "14:03:31\tReStop\t4\tGetArpTable\r\n");
}

TEST_F(ArpWalkTest, RetriesCountOverTheWholeWalk) {
  agent.rows = test::MakeRows(10);
  // Drop the first copy of the requests for rows 2 and 7 and of the end.
  agent.script = [this](const snmp::Message& request) {
    const size_t n = agent.requests.size();
    if (n == 2 || n == 8 || n == 13) return std::vector<snmp::Message>{};
    return std::vector<snmp::Message>{agent.Answer(request)};
  };
  Walk();
  // Two re-sends were allowed; the third lost reply (the end of the table)
  // gave the walk up, many rows after the first.
  EXPECT_EQ(result.rows.size(), 10u);
  EXPECT_EQ(result.resends, 2);
  EXPECT_EQ(result.outcome, WalkOutcome::kNoAnswer);
  const auto lines = test::SplitCrLfLines(Debug("TimRes.txt"));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[2].find("ReStop"), std::string::npos);
}

TEST_F(ArpWalkTest, ALateReplyToAnEarlierCopyIsIgnored) {
  agent.rows = test::MakeRows(3);
  agent.script = [this](const snmp::Message& request) {
    if (agent.requests.size() == 2) return std::vector<snmp::Message>{};  // lost at first
    std::vector<snmp::Message> replies;
    if (agent.requests.size() == 3) {
      replies.push_back(agent.Answer(agent.requests[1]));  // the late copy, id 2
    }
    replies.push_back(agent.Answer(request));
    return replies;
  };
  Walk();
  ExpectRowsEqual(agent.rows, 3);
  const std::string trace = Debug("Snmp.txt");
  EXPECT_EQ(trace.find("<-- snmp_Rx\t2\t"), std::string::npos) << trace;
  EXPECT_NE(trace.find("<-- snmp_Rx\t3\t"), std::string::npos);
}

TEST_F(ArpWalkTest, ErrorStatusEndsTheWalkKeepingItsRows) {
  agent.rows = test::MakeRows(5);
  agent.script = [this](const snmp::Message& request) {
    snmp::Message reply = agent.Answer(request);
    if (agent.requests.size() == 3) reply.error_status = 2;
    return std::vector<snmp::Message>{reply};
  };
  Walk();
  EXPECT_EQ(result.rows.size(), 2u);
  EXPECT_EQ(OutcomeText(result), "error status 2");
  EXPECT_EQ(Debug("Snmp-snmpError.txt"),
            "2024-03-05 14:03:07\tsnmpManager_Response\r\nSNMP Request: GetArpTable\r\n"
            "SNMP Error: 2\r\n");
}

TEST_F(ArpWalkTest, ANullValueEndsTheWalkWithoutStoringItsRow) {
  agent.rows = test::MakeRows(5);
  std::string null_oid;
  agent.script = [&](const snmp::Message& request) {
    snmp::Message reply = agent.Answer(request);
    if (agent.requests.size() == 2) {
      reply.bindings[2].syntax = snmp::syntax::kNoSuchInstance;
      reply.bindings[2].value.clear();
      null_oid = reply.bindings[2].oid;
    }
    return std::vector<snmp::Message>{reply};
  };
  Walk();
  EXPECT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(result.outcome, WalkOutcome::kNoValue);
  EXPECT_EQ(Debug("Snmp-snmpNullValues.txt"),
            "2024-03-05 14:03:07\tsnmpManager_Response\r\n" + null_oid + "\r\n\r\n");
}

TEST_F(ArpWalkTest, RepliesFromAnotherAddressOrPortAreIgnored) {
  agent.rows = test::MakeRows(3);
  ScriptedAgent impostor(loop, AgentAddress(1));
  ScriptedAgent same_host_other_port(loop, router_, 16161);
  agent.script = [&](const snmp::Message& request) {
    snmp::Message forged = agent.Answer(request);
    forged.bindings[1].value = "6.6.6.6";
    impostor.SendTo(forged, "127.0.0.1", manager.LocalPort());
    same_host_other_port.SendTo(forged, "127.0.0.1", manager.LocalPort());
    return std::vector<snmp::Message>{agent.Answer(request)};
  };
  Walk();
  ExpectRowsEqual(agent.rows, 3);
  EXPECT_GT(manager.DatagramsDropped(), 0u);
}

TEST_F(ArpWalkTest, TheBufferHoldsTwentyThousandRowsAndTheWalkStopsThere) {
  settings.debug_mode = false;
  agent.rows = test::MakeRows(20001);
  Walk();
  EXPECT_EQ(result.rows.size(), 20000u);
  EXPECT_EQ(result.outcome, WalkOutcome::kRowLimit);
  // The 20000th row's next request went out; its reply ended the walk.
  EXPECT_EQ(agent.requests.size(), 20001u);
  EXPECT_EQ(result.rows[19999].ip_address, agent.rows[19999].ip);
}

TEST_F(ArpWalkTest, AWalkStillRunningAfterSixHundredSecondsIsEnded) {
  agent.rows = test::MakeRows(1000);
  std::vector<snmp::Message> pending;
  agent.script = [&](const snmp::Message& request) {
    pending.push_back(request);
    return std::vector<snmp::Message>{};
  };
  // Every reply comes four seconds late: never overdue, but slow.
  PeriodicTimer slow_agent(loop, 4000ms, [&] {
    for (const auto& r : pending) agent.SendTo(agent.Answer(r), "127.0.0.1", manager.LocalPort());
    pending.clear();
  });
  slow_agent.SetEnabled(true);
  Walk();
  EXPECT_FALSE(walker.Busy());
  EXPECT_EQ(result.resends, 0);
  EXPECT_EQ(result.outcome, WalkOutcome::kTimeLimit);
  EXPECT_NEAR(static_cast<double>(result.rows.size()), 150, 2);
  EXPECT_EQ(Debug("TimRes.txt"),
            "14:13:08\tTimeOut\t" + std::to_string(walker.LastRequestId()) + "\tGetArpTable\r\n");
}

TEST_F(ArpWalkTest, AnAgentThatRepeatsOrGoesBackwardsEndsTheWalk) {
  agent.rows = test::MakeRows(5);
  // Always the first row, whatever was asked.
  agent.script = [this](const snmp::Message& request) {
    snmp::Message reply = agent.Answer(agent.requests[0]);
    reply.request_id = request.request_id;
    return std::vector<snmp::Message>{reply};
  };
  Walk();
  EXPECT_EQ(result.rows.size(), 1u);
  EXPECT_EQ(agent.requests.size(), 2u);
  EXPECT_EQ(result.outcome, WalkOutcome::kNotIncreasing);

  agent.script = [this](const snmp::Message& request) {
    if (agent.requests.size() < 4) return std::vector<snmp::Message>{agent.Answer(request)};
    snmp::Message reply = agent.Answer(agent.requests[1]);  // back to row 2
    reply.request_id = request.request_id;
    return std::vector<snmp::Message>{reply};
  };
  agent.requests.clear();
  Walk();
  EXPECT_EQ(result.rows.size(), 3u);  // rows 1 to 3, then row 2 again ends it
}

TEST_F(ArpWalkTest, MalformedRowsEndTheWalkAndAreReportedInAppEvent2) {
  agent.rows = test::MakeRows(5);
  agent.script = [this](const snmp::Message& request) {
    snmp::Message reply = agent.Answer(request);
    if (agent.requests.size() == 3) {
      reply.bindings[3].syntax = snmp::syntax::kOctetString;
      reply.bindings[3].value = "dynamic";
    }
    return std::vector<snmp::Message>{reply};
  };
  Walk();
  EXPECT_EQ(result.rows.size(), 2u);
  const std::string report = Debug("AppEvent2.txt");
  EXPECT_EQ(result.outcome, WalkOutcome::kBadResponse);
  EXPECT_EQ(
      report.rfind("2024-03-05 14:03:07\tsnmpManager_ResponseType mismatch: Type 'dynamic'", 0), 0u)
      << report;
  EXPECT_NE(report.find("\r\nOID:   1.3.6.1.2.1.4.22.1.4"), std::string::npos);
  EXPECT_NE(report.find("\r\nType:  4\r\nValue: dynamic\r\n\r\n\r\n"), std::string::npos);

  // Too few bindings, and a net address that is not an IpAddress value.
  for (int fault = 0; fault < 2; ++fault) {
    agent.requests.clear();
    agent.script = [this, fault](const snmp::Message& request) {
      snmp::Message reply = agent.Answer(request);
      if (fault == 0) reply.bindings.resize(2);
      if (fault == 1) {
        reply.bindings[1].syntax = snmp::syntax::kOctetString;
        reply.bindings[1].value = "10.0.0.1\tforged\r\n";
      }
      return std::vector<snmp::Message>{reply};
    };
    Walk();
    EXPECT_EQ(result.rows.size(), 0u) << fault;
    EXPECT_FALSE(walker.Busy());
  }
}

TEST_F(ArpWalkTest, SendFailuresAreLoggedAndTheTimerEndsTheWalk) {
  settings.debug_mode = false;
  Walk("router.example");  // not a numeric address
  EXPECT_FALSE(walker.Busy());
  EXPECT_EQ(result.outcome, WalkOutcome::kNoAnswer);
  const auto lines = test::SplitCrLfLines(Debug("AppEvent.txt"));
  ASSERT_EQ(lines.size(), 3u);  // the first send and two re-sends
  EXPECT_NE(lines[0].find("\t1\tmodSnmpComm_SnmpSend\t"), std::string::npos) << lines[0];
}

TEST_F(ArpWalkTest, TheRequestIdentifierWrapsToOneAndStaysWrapAware) {
  agent.rows = test::MakeRows(4);
  // The request carrying 2147483647 is lost at first; its re-send carries 1,
  // and the late reply to the lost copy arrives just before the reply to 1.
  agent.script = [this](const snmp::Message& request) {
    const size_t n = agent.requests.size();
    if (n == 2) return std::vector<snmp::Message>{};
    std::vector<snmp::Message> replies;
    if (n == 3) replies.push_back(agent.Answer(agent.requests[1]));
    replies.push_back(agent.Answer(request));
    return replies;
  };
  walker.SetLastRequestId(2147483645);
  Walk();
  ExpectRowsEqual(agent.rows, 4);
  std::vector<int32_t> sent;
  for (const snmp::Message& m : agent.requests) sent.push_back(m.request_id);
  EXPECT_EQ(sent, (std::vector<int32_t>{2147483646, 2147483647, 1, 2, 3, 4}));
  EXPECT_EQ(Debug("Snmp.txt").find("<-- snmp_Rx\t2147483647\t"), std::string::npos);
  EXPECT_FALSE(FileExists(folder + "/Debug/AppEvent.txt"));
}

TEST_F(ArpWalkTest, AnUnwritableTraceDoesNotKeepTheWalkWaiting) {
  agent.script = [](const snmp::Message&) { return std::vector<snmp::Message>{}; };
  std::filesystem::remove_all(folder + "/Debug");
  Walk();  // the requests are sent untraced; the timer still ends the walk
  EXPECT_FALSE(walker.Busy());
  EXPECT_EQ(agent.requests.size(), 3u) << "the request and its two re-sends";
}

TEST_F(ArpWalkTest, RepliesAfterTheWalkHasEndedChangeNothing) {
  agent.rows = test::MakeRows(2);
  settings.debug_mode = false;
  Walk();
  const std::string before = result.rows[0].ip_address;
  const int32_t id = walker.LastRequestId();
  agent.SendTo(agent.Answer(agent.requests.back()), "127.0.0.1", manager.LocalPort());
  snmp::Message again = agent.Answer(agent.requests[0]);
  again.request_id = id + 5;
  agent.SendTo(again, "127.0.0.1", manager.LocalPort());
  loop.WaitMs(50);
  EXPECT_EQ(walker.LastRequestId(), id);
  EXPECT_EQ(result.rows.size(), 2u);
  EXPECT_EQ(result.rows[0].ip_address, before);
}

TEST_F(ArpWalkTest, AWalkerSwitchedOffEndsItsWalkAndSendsNoMore) {
  agent.script = [](const snmp::Message&) { return std::vector<snmp::Message>{}; };
  OneShotTimer stop(loop, [this] { walker.SetEnabled(false); });
  stop.StartAt(clock.Now() + 2s);
  Walk();
  EXPECT_EQ(result.outcome, WalkOutcome::kStopped);
  loop.WaitMs(10000);
  Walk();
  EXPECT_EQ(result.outcome, WalkOutcome::kStopped);
  EXPECT_EQ(agent.requests.size(), 1u);
  EXPECT_FALSE(FileExists(folder + "/Debug/TimRes.txt"));
}

TEST_F(ArpWalkTest, AnAgentRefusingTheNeighbourTableIsWalkedThroughTheArpTable) {
  settings.neighbour_table = kNeighbourTablePhysical;
  agent.rows = test::MakeRows(3);
  agent.script = [this](const snmp::Message& request) {
    snmp::Message reply = agent.Answer(request);
    if (request.bindings.front().oid.rfind("1.3.6.1.2.1.4.35.1.", 0) == 0) reply.error_status = 2;
    return std::vector<snmp::Message>{reply};
  };
  Walk();
  ExpectRowsEqual(agent.rows, 3);
  EXPECT_EQ(OutcomeText(result), "end of table");
  EXPECT_STREQ(result.table->name, "ipNetToMediaTable");
  ASSERT_EQ(agent.requests.size(), 5u);
  EXPECT_EQ(agent.requests[0].bindings.size(), 2u);
  const std::string snmp = Debug("Snmp.txt");
  EXPECT_NE(snmp.find("\tGetArpTable\t1.3.6.1.2.1.4.35.1.4\t\r\n"), std::string::npos) << snmp;
  EXPECT_NE(snmp.find("\tGetArpTable\t1.3.6.1.2.1.4.22.1.1\t\r\n"), std::string::npos) << snmp;
}

// Agents that leave a column out for some rows, hold IPv4 apart from IPv6,
// or drop GETBULK, each walked by get-next and by GETBULK: every address is
// stored with its own row's values, nothing is lost, and the agent is asked
// no more than the table needs.
TEST_F(ArpWalkTest, AgentFaultsNeitherLoseRowsNorLendThemOtherRowsValues) {
  using test::TableRow;
  using test::WalkedRow;
  namespace syntax = snmp::syntax;
  settings.debug_mode = false;
  // The rows of the agent's ipNetToMediaTable that a walk keeps: those with a
  // physical address, with type 0 where the agent holds none.
  const auto kept = [](const std::vector<TableRow>& rows) {
    std::vector<WalkedRow> out;
    for (const TableRow& r : rows) {
      const auto lacks = [&r](int column) {
        return std::find(r.left_out.begin(), r.left_out.end(), column) != r.left_out.end();
      };
      if (!lacks(2))
        out.push_back(
            {r.if_index, r.ip, FormatMac(r.mac), static_cast<int16_t>(lacks(4) ? 0 : r.type)});
    }
    return out;
  };
  const auto leave_out = [this](size_t row, int column) {
    return [this, row, column] {
      agent.rows = test::MakeRows(6);
      agent.rows[row].left_out = {column};
    };
  };
  const std::string media = "1.3.6.1.2.1.4.22.1.";
  const std::string physical = "1.3.6.1.2.1.4.35.1.";
  const std::string v6a = ".7.2.16.32.1.13.184.0.0.0.0.0.0.0.0.0.0.0.10";
  const std::string v6b = ".7.2.16.254.128.0.0.0.0.0.0.0.0.0.0.0.0.0.1";
  const std::string mac = std::string("\x02\x00\x00\x00\x00\x0a", 6);
  const auto is_bulk = [](const snmp::Message& m) {
    return m.pdu_type == snmp::pdu::kGetBulkRequest;
  };
  const struct {
    const char* name;
    std::function<void()> serve;
    std::vector<WalkedRow> rows{};  // empty: kept(agent.rows)
    size_t no_phys_address = 0;
    std::string tables = "ipNetToMediaTable";
    int neighbour_table = kNeighbourTableMedia;
    int16_t retries = 2;
    int repetitions = 4;
    std::function<bool(const snmp::Message&, size_t n)> lost{};  // request n (from 1) unanswered
    size_t get_next_requests = 0;                                // 0: walked by GETBULK only
    std::vector<int32_t> asked{};  // each GETBULK's repetitions, 0 for a get-next
    int resends = 0;
  } cases[] = {
      // The next row is on another interface.
      {.name = "no ifIndex for the second row",
       .serve = leave_out(1, 1),
       .get_next_requests = 7,
       .asked = {4, 4}},
      {.name = "no net address for the third row",
       .serve = leave_out(2, 3),
       .get_next_requests = 7,
       .asked = {4, 4}},
      {.name = "no physical address for the third row",
       .serve = leave_out(2, 2),
       .no_phys_address = 1,
       .get_next_requests = 7,
       .asked = {4, 4}},
      {.name = "no type for the third row",
       .serve = leave_out(2, 4),
       .get_next_requests = 7,
       .asked = {4, 4}},
      {.name = "no physical address for the last row",
       .serve = leave_out(5, 2),
       .no_phys_address = 1,
       .get_next_requests = 7,
       .asked = {4, 4}},
      {.name = "a net address unlike its index",
       .serve =
           [&] {
             agent.Serve(media + "1.2.103.134.50.241", syntax::kInteger, "2");
             agent.Serve(media + "2.2.103.134.50.241", syntax::kOctetString, "");
             agent.Serve(media + "3.2.103.134.50.241", syntax::kIpAddress, "51.50.86.70");
             agent.Serve(media + "4.2.103.134.50.241", syntax::kInteger, "4");
           },
       .rows = {{2, "51.50.86.70", "00 00 00 00 00 00", 4}},
       .get_next_requests = 2,
       .asked = {4}},
      {.name = "physical addresses only",
       .serve =
           [&] {
             agent.Serve(media + "2.30.10.10.10.10", syntax::kOctetString, mac);
             agent.Serve(media + "2.30.10.10.10.11", syntax::kOctetString, mac);
             agent.Serve(media + "2.64.10.10.11.102", syntax::kOctetString, mac);
           },
       .rows = {{30, "10.10.10.10", "02 00 00 00 00 0a", 0},
                {30, "10.10.10.11", "02 00 00 00 00 0a", 0},
                {64, "10.10.11.102", "02 00 00 00 00 0a", 0}},
       .get_next_requests = 5,
       .asked = {4, 4}},
      {.name = "IPv6 only in ipNetToPhysicalTable",
       .serve =
           [&] {
             agent.rows = test::MakeRows(2);
             for (const std::string& index : {v6a, v6b}) {
               agent.Serve(physical + "4" + index, syntax::kOctetString, mac);
               agent.Serve(physical + "6" + index, syntax::kInteger, "3");
             }
           },
       .rows = {{7, "2001:db8::a", "02 00 00 00 00 0a", 3},
                {7, "fe80::1", "02 00 00 00 00 0a", 3},
                {1, "10.0.0.1", FormatMac(test::MakeRows(2)[0].mac), 3},
                {2, "10.0.0.2", FormatMac(test::MakeRows(2)[1].mac), 3}},
       .tables = "ipNetToPhysicalTable, ipNetToMediaTable",
       .neighbour_table = kNeighbourTablePhysical,
       .get_next_requests = 6,
       .asked = {4, 4}},
      {.name = "GETBULK dropped, no retries",
       .serve = [&] { agent.rows = test::MakeRows(3); },
       .retries = 0,
       .repetitions = 25,
       .lost = [&](const snmp::Message& m, size_t) { return is_bulk(m); },
       .asked = {25, 0, 25, 0, 0, 0}},
      {.name = "GETBULK dropped and a get-next lost, one retry",
       .serve = [&] { agent.rows = test::MakeRows(3); },
       .retries = 1,
       .repetitions = 25,
       .lost = [&](const snmp::Message& m, size_t n) { return is_bulk(m) || n == 5; },
       .asked = {25, 0, 25, 0, 0, 0, 0},
       .resends = 1},
      {.name = "the first GETBULK lost",
       .serve = [&] { agent.rows = test::MakeRows(50); },
       .repetitions = 25,
       .lost = [](const snmp::Message&, size_t n) { return n == 1; },
       .asked = {25, 0, 25, 25}},
  };
  for (const auto& c : cases) {
    for (const bool bulk : {false, true}) {
      if (!bulk && c.get_next_requests == 0) continue;
      SCOPED_TRACE(std::string(c.name) + (bulk ? ", GETBULK" : ", get-next"));
      agent.rows.clear();
      agent.ClearServed();
      c.serve();
      agent.requests.clear();
      agent.script = [&](const snmp::Message& request) {
        if (c.lost && c.lost(request, agent.requests.size())) return std::vector<snmp::Message>{};
        return std::vector<snmp::Message>{agent.Answer(request)};
      };
      settings.use_bulk = bulk;
      settings.max_repetitions = c.repetitions;
      settings.retries = c.retries;
      settings.neighbour_table = c.neighbour_table;
      Walk();
      EXPECT_EQ(test::RowsOf(result), c.rows.empty() ? kept(agent.rows) : c.rows);
      EXPECT_EQ(OutcomeText(result), "end of table");
      EXPECT_EQ(result.skipped_no_phys_address, c.no_phys_address);
      EXPECT_EQ(std::string(result.table->name) +
                    (result.second_table ? std::string(", ") + result.second_table->name : ""),
                c.tables);
      EXPECT_EQ(result.resends, c.resends);
      std::vector<int32_t> asked;
      for (const snmp::Message& m : agent.requests) asked.push_back(is_bulk(m) ? m.error_index : 0);
      if (bulk)
        EXPECT_EQ(asked, c.asked);
      else
        EXPECT_EQ(asked, std::vector<int32_t>(c.get_next_requests, 0));
    }
  }
}

TEST(OidOrder, ComparesArcByArc) {
  using snmp::OidComesAfter;
  using snmp::OidUnderColumn;
  EXPECT_TRUE(OidComesAfter("1.3.6.1.2.1.4.22.1.1.3.10.0.0.12", "1.3.6.1.2.1.4.22.1.1.3.10.0.0.5"));
  EXPECT_TRUE(OidComesAfter("1.3.6.1.2.1.4.22.1.1.1.1.1.1.1", "1.3.6.1.2.1.4.22.1.1"));
  EXPECT_FALSE(OidComesAfter("1.3.6.1.2.1.4.22.1.1.3.10", "1.3.6.1.2.1.4.22.1.1.3.10"));
  EXPECT_FALSE(OidComesAfter("1.3.6.1.2.1.4.22.1.1.2", "1.3.6.1.2.1.4.22.1.1.10"));
  EXPECT_FALSE(OidComesAfter("1.3..6", "1.3"));
  EXPECT_FALSE(OidComesAfter("1.3.6", "x"));
  EXPECT_TRUE(OidUnderColumn("1.3.6.1.2.1.4.22.1.1.5", "1.3.6.1.2.1.4.22.1.1"));
  EXPECT_FALSE(OidUnderColumn("1.3.6.1.2.1.4.22.1.10.5", "1.3.6.1.2.1.4.22.1.1"));
  EXPECT_FALSE(OidUnderColumn("1.3.6.1.2.1.4.22.1.1", "1.3.6.1.2.1.4.22.1.1"));
}

class ServiceOpenTest : public ArpWalkTest {
 protected:
  ServiceOpenTest() { manager.Close(); }
  ~ServiceOpenTest() override { ::unsetenv("VEXAARP_SNMP_BIND"); }
};

TEST_F(ServiceOpenTest, OnlyTheExactControlNameOpensAndTheTraceHasFourLines) {
  walker.OpenEndpoint("SnmpManager");
  EXPECT_FALSE(manager.IsOpen());
  EXPECT_EQ(clock.WaitedTotal(), 0ms);
  walker.OpenEndpoint("snmpManager");
  ASSERT_TRUE(manager.IsOpen());
  EXPECT_EQ(clock.WaitedTotal(), 1000ms);
  EXPECT_EQ(Debug("Services.txt"),
            "############ SNMP Manager Started ###########\r\n"
            "IP Address:    " +
                manager.LocalAddress() +
                "\r\n"
                "Port:          " +
                std::to_string(manager.LocalPort()) + "\r\n\r\n");
}

TEST_F(ServiceOpenTest, OpenFailuresAreLoggedInWords) {
  ScriptedAgent holder(loop, AgentAddress(2), 16199);
  ::setenv("VEXAARP_SNMP_BIND", (AgentAddress(2) + ":16199").c_str(), 1);
  walker.OpenEndpoint("snmpManager");
  ::setenv("VEXAARP_SNMP_BIND", "192.0.2.1", 1);
  walker.OpenEndpoint("snmpManager");
  EXPECT_FALSE(manager.IsOpen());
  const auto lines = test::SplitCrLfLines(Debug("AppEvent.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(20), "1\tmodSnmpComm_ServiceOpen\tSNMP Manager Port was in use");
  EXPECT_EQ(lines[1].substr(20),
            "1\tmodSnmpComm_ServiceOpen\tSNMP Manager IP Address is not valid");
}

}  // namespace
}  // namespace vexa

// The merge of walked rows into ArpTable, the router list, the trace block
// and the failure path, on a real database file. The walk itself is replaced
// by rows handed in per router, so each case controls exactly what arrives.
#include "arp/store.h"

#include "arp/cycle_metrics.h"
#include "arp/poll_cycle.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>

#include "db/sqlite.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using std::chrono::milliseconds;
using test::ReadFile;

struct StoredRecord {
  std::string mac;
  int64_t type;
  int64_t if_index;
  int64_t seen;
  friend bool operator==(const StoredRecord&, const StoredRecord&) = default;
};

class ArpStoreTest : public ::testing::Test {
 protected:
  ArpStoreTest() {
    settings.router_list = "10.0.0.1\r\n10.0.0.2";
    // The history has tests of its own; its baseline line and its wait would
    // join the log lines and the cycle times these tests read.
    settings.history_days = 0;
    db_path = folder.Database();
  }

  void Poll() { cycle.Run(); }

  std::map<std::string, StoredRecord> Table() {
    std::map<std::string, StoredRecord> out;
    Database db = Database::Open(folder.Database());
    Statement st = db.Prepare("SELECT IpAddr, MacAddr, Type, IfIndex, SeenTimes FROM ArpTable");
    while (st.Step())
      out[st.ColumnText(0)] = {st.ColumnText(1), st.ColumnInt64(2), st.ColumnInt64(3),
                               st.ColumnInt64(4)};
    return out;
  }

  // The walk: the rows of the router, as the walker would have returned them.
  WalkResult Walk(const std::string& router) {
    walked.push_back(router);
    WalkResult result;
    result.rows = agents[router];
    if (router == stopped_at) result.outcome = WalkOutcome::kStopped;
    if (const auto took = takes.find(router); took != takes.end()) {
      clock.Advance(took->second);
      result.duration = took->second;
    }
    if (router == unanswered) result.outcome = WalkOutcome::kNoAnswer;
    return result;
  }

  test::ProgramFolder folder;
  SimulatedClock clock{FromLocal({2024, 3, 5, 11, 0, 5})};
  EventLoop loop{clock};
  std::string program_folder = folder.path();
  std::string db_path;
  CollectorSettings settings;
  EventLog log{loop, program_folder};
  CollectorContext ctx{loop, log, program_folder, db_path, settings};
  std::map<std::string, std::vector<ArpRow>> agents;
  std::vector<std::string> walked;
  std::string stopped_at;               // the walk of this router is ended by a stop
  std::string unanswered;               // this router does not answer
  std::map<std::string, Millis> takes;  // how long the walk of a router takes
  ArpStore store{ctx};
  PollCycle cycle{ctx, store, [this](const std::string& router) { return Walk(router); }};
};

ArpRow Row(const std::string& ip, const std::string& mac, int16_t type = 3, int32_t if_index = 1) {
  return {ip, mac, if_index, type};
}

TEST_F(ArpStoreTest, AnAddressCountsOncePerCycleAndKeepsItsFirstRow) {
  agents["10.0.0.1"] = {Row("10.0.0.12", "00 00 00 00 00 0c", 3, 1),
                        Row("10.0.0.7", "00 00 00 00 00 07", 3, 1),
                        Row("10.0.0.7", "aa aa aa aa aa aa", 4, 2)};
  agents["10.0.0.2"] = {Row("10.0.0.7", "bb bb bb bb bb bb", 3, 9),
                        Row("10.0.0.1", "00 00 00 00 00 01", 4, 3)};
  Poll();
  EXPECT_EQ(walked, (std::vector<std::string>{"10.0.0.1", "10.0.0.2"}));
  auto table = Table();
  ASSERT_EQ(table.size(), 3u);
  EXPECT_EQ(table["10.0.0.7"], (StoredRecord{"00 00 00 00 00 07", 3, 1, 1}));
  EXPECT_EQ(table["10.0.0.12"], (StoredRecord{"00 00 00 00 00 0c", 3, 1, 1}));
  // A prefix of a handled address is an address of its own.
  EXPECT_EQ(table["10.0.0.1"], (StoredRecord{"00 00 00 00 00 01", 4, 3, 1}));

  // Next cycle: another MAC address for a known address only adds a sighting.
  agents["10.0.0.1"] = {Row("10.0.0.7", "cc cc cc cc cc cc", 4, 5)};
  agents["10.0.0.2"] = {};
  Poll();
  table = Table();
  EXPECT_EQ(table["10.0.0.7"], (StoredRecord{"00 00 00 00 00 07", 3, 1, 2}));
  EXPECT_EQ(table["10.0.0.12"].seen, 1);
}

TEST_F(ArpStoreTest, OnlyDynamicRowsCountWhenAsked) {
  agents["10.0.0.1"] = {Row("10.0.0.5", "00 00 00 00 00 05", 3)};
  Poll();
  settings.save_only_dynamic = true;
  // A static row of a stored address neither counts nor lets a later dynamic
  // row of the same address count in this cycle.
  agents["10.0.0.1"] = {
      Row("10.0.0.5", "00 00 00 00 00 05", 4), Row("10.0.0.5", "00 00 00 00 00 05", 3),
      Row("10.0.0.6", "00 00 00 00 00 06", 4), Row("10.0.0.8", "00 00 00 00 00 08", 3)};
  Poll();
  auto table = Table();
  EXPECT_EQ(table["10.0.0.5"].seen, 1);
  EXPECT_EQ(table.count("10.0.0.6"), 0u);
  EXPECT_EQ(table["10.0.0.8"].seen, 1);
}

TEST_F(ArpStoreTest, RouterListIsSplitAtCrLfOnlyAndCappedAt25) {
  std::string list;
  for (int i = 1; i <= 30; ++i) list += "10.1.0." + std::to_string(i) + "\r\n";
  settings.router_list = "\r\n" + list;  // a leading empty line is skipped
  Poll();
  ASSERT_EQ(walked.size(), 24u);  // the empty first entry uses one of the 25
  EXPECT_EQ(walked.front(), "10.1.0.1");
  EXPECT_EQ(walked.back(), "10.1.0.24");
}

TEST_F(ArpStoreTest, BlanksAroundARouterAreNoPartOfItsAddress) {
  settings.router_list = " 10.0.0.1 \r\n\t10.0.0.2\t\r\n \t \r\n10.0.0.3  ";
  Poll();
  EXPECT_EQ(walked, (std::vector<std::string>{"10.0.0.1", "10.0.0.2", "10.0.0.3"}));
}

TEST_F(ArpStoreTest, WaitsForTheWalkToEndThenASecondAndPausesEvery101Rows) {
  settings.router_list = "10.0.0.1";
  for (int i = 0; i < 250; ++i)
    agents["10.0.0.1"].push_back(Row(
        "10.2." + std::to_string(i / 250) + "." + std::to_string(i % 250), "00 00 00 00 00 00"));
  Poll();
  // 40 ms after the walk, 1000 ms more, and two 50 ms pauses (after rows 101 and 202).
  EXPECT_EQ(clock.WaitedTotal(), milliseconds(40 + 1000 + 2 * 50));
  EXPECT_EQ(Table().size(), 250u);
}

TEST_F(ArpStoreTest, AWalkEndedByAStopEndsTheCycleWithoutMerging) {
  agents["10.0.0.1"] = {Row("10.0.0.5", "00 00 00 00 00 05")};
  stopped_at = "10.0.0.1";
  Poll();
  EXPECT_EQ(walked, (std::vector<std::string>{"10.0.0.1"}));
  EXPECT_TRUE(Table().empty());
}

TEST_F(ArpStoreTest, TraceBlockListsEveryRowAsReceived) {
  settings.debug_mode = true;
  test::WriteFile(folder.File("Debug/ArpTable.txt"), "previous cycle");
  agents["10.0.0.1"] = {Row("10.0.0.9", "00 1a 2b 3c 4d 5e", 3, 2),
                        Row("10.0.0.9", "00 1a 2b 3c 4d 5f", 4, 3)};
  Poll();
  EXPECT_EQ(ReadFile(folder.File("Debug/ArpTable.txt")),
            "Router:\t10.0.0.1\r\n"
            "Start:\t2024-03-05 11:00:05\r\n"
            "Finish:\t2024-03-05 11:00:06\r\n"
            "\r\n"
            "Row\tIpAddress\tMacAddress\tType\tIfIndex\r\n"
            "1\t10.0.0.9\t00 1a 2b 3c 4d 5e\t3\t2\r\n"
            "2\t10.0.0.9\t00 1a 2b 3c 4d 5f\t4\t3\r\n"
            "\r\n\r\n"
            // The second router answered nothing: header only.
            "Router:\t10.0.0.2\r\n"
            "Start:\t2024-03-05 11:00:06\r\n"
            "Finish:\t2024-03-05 11:00:07\r\n"
            "\r\n"
            "Row\tIpAddress\tMacAddress\tType\tIfIndex\r\n"
            "\r\n\r\n");
}

TEST_F(ArpStoreTest, TraceIsDeletedEveryCycleEvenWithoutDebugMode) {
  test::WriteFile(folder.File("Debug/ArpTable.txt"), "previous cycle");
  settings.router_list = "";
  Poll();
  EXPECT_FALSE(FileExists(folder.File("Debug/ArpTable.txt")));
  EXPECT_TRUE(walked.empty());
}

TEST_F(ArpStoreTest, AddressesNeverBecomeSql) {
  agents["10.0.0.1"] = {Row("1'); DROP TABLE ArpTable; --", "x'y"),
                        Row("10.0.0.3' OR '1'='1", "00")};
  Poll();
  auto table = Table();
  EXPECT_EQ(table.size(), 2u);
  EXPECT_EQ(table["1'); DROP TABLE ArpTable; --"].mac, "x'y");
}

TEST_F(ArpStoreTest, DatabaseFailureEndsTheCycleWithOneLine) {
  agents["10.0.0.1"] = {Row("10.0.0.5", "00 00 00 00 00 05")};
  db_path = folder.path() + "/Missing.mdb";
  Poll();
  const auto lines = test::SplitCrLfLines(ReadFile(folder.AppEvent()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\t1\tmodSnmpComm_LogArpEntries\tSnmpMess.tmpRow=1, Could not find "
                          "the database file"),
            std::string::npos)
      << lines[0];
  EXPECT_EQ(walked, (std::vector<std::string>{"10.0.0.1"}));  // the cycle ended there

  db_path = folder.Database();
  Poll();  // the next cycle tries again
  EXPECT_EQ(Table().size(), 1u);
}

TEST_F(ArpStoreTest, ClearEmptiesTheStoreOrLogsWhyNot) {
  agents["10.0.0.1"];
  for (int i = 0; i < 3000; ++i)
    agents["10.0.0.1"].push_back(
        Row("10.3." + std::to_string(i / 256) + "." + std::to_string(i % 256), "00"));
  Poll();
  ASSERT_EQ(Table().size(), 3000u);
  store.Clear();
  EXPECT_TRUE(Table().empty());
  EXPECT_FALSE(FileExists(folder.AppEvent()));

  db_path = folder.path() + "/Missing.mdb";
  store.Clear();
  const auto lines = test::SplitCrLfLines(ReadFile(folder.AppEvent()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\t1\tmodSnmpComm_ClearArpTable\tCould not find"), std::string::npos);
}

TEST_F(ArpStoreTest, ACycleLongerThanCheckIntervalIsToldOncePerJob) {
  agents["10.0.0.1"] = {Row("10.0.0.5", "00 00 00 00 00 05")};
  takes = {{"10.0.0.1", milliseconds(40000)}, {"10.0.0.2", milliseconds(95500)}};
  const std::string line =
      "\t2\tmodSnmpComm_PollCycle\tThe poll cycle took 137.6 s, longer than CheckInterval (120 "
      "s); slowest router 10.0.0.2 (95.5 s); raise ParallelWalks or set UseBulk";
  struct Case {
    const char* name;
    int interval;
    int cycles;
    bool new_job_between;
    size_t lines;
  };
  const Case cases[] = {
      {"within the interval", 300, 2, false, 0},
      {"no interval", 0, 2, false, 0},
      {"over it, twice in one job", 120, 2, false, 1},
      {"over it in two jobs", 120, 2, true, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(folder.AppEvent().c_str());
    cycle.NewJob();
    settings.check_interval_seconds = c.interval;
    for (int i = 0; i < c.cycles; ++i) {
      if (c.new_job_between) cycle.NewJob();
      Poll();
    }
    const std::string events = FileExists(folder.AppEvent()) ? ReadFile(folder.AppEvent()) : "";
    const auto lines = test::SplitCrLfLines(events);
    ASSERT_EQ(lines.size(), c.lines) << events;
    for (const std::string& l : lines) EXPECT_NE(l.find(line), std::string::npos) << l;
  }
}

TEST_F(ArpStoreTest, MetricsFilePassesPromtoolAndCountsFailuresOverTheJob) {
  agents["10.0.0.1"] = {Row("10.0.0.5", "00 00 00 00 00 05"), Row("10.0.0.6", "00 00 00 00 00 06")};
  takes = {{"10.0.0.1", milliseconds(1500)}, {"10.0.0.2", milliseconds(3000)}};
  unanswered = "10.0.0.2";
  settings.metrics_file = folder.File("metrics/vexa_arp.prom");
  ::mkdir(folder.File("metrics").c_str(), 0755);
  CycleMetrics metrics(ctx);
  metrics.NewJob();
  metrics.SetEventCounts([] {
    return std::map<std::string, uint64_t>{{"new", 4}, {"odd \"kind\"\\\n", 1}};
  });
  struct Case {
    const char* name;
    std::vector<std::string> lines;  // lines the file holds after the cycle
  };
  const Case cases[] = {
      {"first cycle",
       {"vexa_arp_table_entries 2", "vexa_arp_walk_rows{router=\"10.0.0.1\"} 2",
        "vexa_arp_walk_duration_seconds{router=\"10.0.0.2\"} 3.000",
        "vexa_arp_walk_failures_total{router=\"10.0.0.2\",outcome=\"no_answer\"} 1",
        "vexa_arp_walk_last_success_timestamp_seconds{router=\"10.0.0.2\"} 0.000",
        "vexa_arp_events_total{kind=\"odd \\\"kind\\\"\\\\\\n\"} 1",
        "# TYPE vexa_arp_walk_failures_total counter"}},
      {"second cycle counts on",
       {"vexa_arp_walk_failures_total{router=\"10.0.0.2\",outcome=\"no_answer\"} 2",
        "vexa_arp_events_total{kind=\"new\"} 4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Poll();
    metrics.AfterCycle(cycle.LastFigures());
    const std::string text = ReadFile(settings.metrics_file);
    for (const std::string& line : c.lines)
      EXPECT_NE(text.find(line + "\n"), std::string::npos) << line << "\n" << text;
    EXPECT_NE(text.find("vexa_arp_cycle_duration_seconds 6.5"), std::string::npos) << text;
    const test::RunResult check = test::Run(
        "/bin/sh", {"-c", "exec /usr/bin/promtool check metrics < \"$0\"", settings.metrics_file});
    EXPECT_EQ(check.exit_status, 0) << check.out << check.err;
  }
}

}  // namespace
}  // namespace vexa

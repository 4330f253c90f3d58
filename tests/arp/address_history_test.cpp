// The changes the address history finds, cycle after cycle, on a real
// database file and a simulated clock. Each case hands in, per cycle, what
// the walk of each router returned, and checks the ArpEvent records the
// cycle added (and, where it matters, ArpHistory and the event log).
#include "arp/address_history.h"

#include <gtest/gtest.h>

#include <map>

#include "arp/poll_cycle.h"
#include "arp/store.h"
#include "db/sqlite.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;

constexpr const char* kR1 = "10.0.0.1";
constexpr const char* kR2 = "10.0.0.2";

std::string Mac(int n) {
  char text[24];
  std::snprintf(text, sizeof text, "02 00 00 00 00 %02x", n);
  return text;
}
const std::string kVrrp = "00 00 5e 00 01 07";

struct Walk {
  WalkOutcome outcome = WalkOutcome::kEndOfTable;
  std::vector<ArpRow> rows;
};
ArpRow Row(const std::string& ip, const std::string& mac, int32_t if_index = 1) {
  return {ip, mac, if_index, 3};
}

struct Cycle {
  std::map<std::string, Walk> walks;     // routers not named answer an empty table
  std::vector<std::string> events = {};  // "kind ip mac old_mac router/if", " held" when held back
  std::chrono::hours advance{0};         // more time before the cycle (5 min always pass)
};

struct Case {
  const char* name;
  std::vector<Cycle> cycles;
  // ArpHistory at the end, "ip mac router/if cycles current|old"; unchecked when empty.
  std::vector<std::string> history = {};
  int32_t history_days = 400;
};

std::string Event(const std::string& kind, const std::string& ip, const std::string& mac,
                  const std::string& old_mac = "", const std::string& where = "10.0.0.1/1") {
  return kind + " " + ip + " " + mac + " " + old_mac + " " + where;
}

class Job {
 public:
  explicit Job(int32_t history_days) {
    settings.router_list = std::string(kR1) + "\r\n" + kR2;
    settings.history_days = history_days;
    db_path = folder.Database();
  }

  std::vector<std::string> RunCycle(const Cycle& cycle) {
    clock.Advance(cycle.advance + 5min);
    walks = cycle.walks;
    poll.Run();
    std::vector<std::string> out;
    Database db = Database::Open(db_path, true);
    Statement st = db.Prepare(
        "SELECT ID, Kind, IpAddr, MacAddr, OldMacAddr, Router, IfIndex, Delivered FROM ArpEvent "
        "WHERE ID > ?1 ORDER BY ID");
    st.Bind(1, last_event);
    while (st.Step()) {
      last_event = st.ColumnInt64(0);
      out.push_back(st.ColumnText(1) + " " + st.ColumnText(2) + " " + st.ColumnText(3) + " " +
                    st.ColumnText(4) + " " + st.ColumnText(5) + "/" + st.ColumnText(6) +
                    (st.ColumnInt64(7) ? "" : " held"));
    }
    return out;
  }

  std::vector<std::string> History() {
    std::vector<std::string> out;
    Database db = Database::Open(db_path, true);
    Statement st = db.Prepare(
        "SELECT IpAddr, MacAddr, Router, IfIndex, Cycles, IsCurrent FROM ArpHistory "
        "ORDER BY IpAddr, MacAddr");
    while (st.Step())
      out.push_back(st.ColumnText(0) + " " + st.ColumnText(1) + " " + st.ColumnText(2) + "/" +
                    st.ColumnText(3) + " " + st.ColumnText(4) + " " +
                    (st.ColumnInt64(5) ? "current" : "old"));
    return out;
  }

  WalkResult Walked(const std::string& router) {
    WalkResult result;
    const Walk& walk = walks[router];
    result.outcome = walk.outcome;
    result.rows = walk.rows;
    return result;
  }

  test::ProgramFolder folder;
  SimulatedClock clock{FromLocal({2026, 3, 5, 11, 0, 5})};
  EventLoop loop{clock};
  std::string program_folder = folder.path();
  std::string db_path;
  CollectorSettings settings;
  EventLog log{loop, program_folder};
  CollectorContext ctx{loop, log, program_folder, db_path, settings};
  ArpStore store{ctx};
  std::map<std::string, Walk> walks;
  PollCycle poll{ctx, store, [this](const std::string& router) { return Walked(router); }};
  int64_t last_event = 0;
};

// The two pairings every case starts from, recorded as the baseline.
const Cycle kBaseline{{{kR1, {.rows = {Row("10.0.1.5", Mac(1)), Row("10.0.1.6", Mac(6))}}}}};
Cycle Sees(std::vector<ArpRow> rows, std::vector<std::string> events,
           std::chrono::hours advance = 0h) {
  return {{{kR1, {.rows = std::move(rows)}}}, std::move(events), advance};
}

const std::vector<Case> kCases = {
    {"a restart with an unchanged network raises nothing",
     {kBaseline, Sees({Row("10.0.1.5", Mac(1)), Row("10.0.1.6", Mac(6))}, {})},
     {"10.0.1.5 " + Mac(1) + " 10.0.0.1/1 2 current",
      "10.0.1.6 " + Mac(6) + " 10.0.0.1/1 2 current"}},
    {"an address never seen is new",
     {kBaseline, Sees({Row("10.0.1.5", Mac(1)), Row("10.0.1.9", Mac(9), 4)},
                      {Event("new_ip", "10.0.1.9", Mac(9), "", "10.0.0.1/4")})}},
    {"a new MAC, the one before it, and an older one",
     {kBaseline,
      Sees({Row("10.0.1.5", Mac(2))}, {Event("mac_changed", "10.0.1.5", Mac(2), Mac(1))}),
      Sees({Row("10.0.1.5", Mac(3))}, {Event("mac_changed", "10.0.1.5", Mac(3), Mac(2))}),
      Sees({Row("10.0.1.5", Mac(2))},
           {Event("flip_flop", "10.0.1.5", Mac(2), Mac(3)), Event("gone", "10.0.1.6", Mac(6))}),
      Sees({Row("10.0.1.5", Mac(1))}, {Event("reused_mac", "10.0.1.5", Mac(1), Mac(2))})},
     {"10.0.1.5 " + Mac(1) + " 10.0.0.1/1 2 current", "10.0.1.5 " + Mac(2) + " 10.0.0.1/1 2 old",
      "10.0.1.5 " + Mac(3) + " 10.0.0.1/1 1 old", "10.0.1.6 " + Mac(6) + " 10.0.0.1/1 1 old"}},
    {"flip flops within a day of the last one are held back",
     {kBaseline,
      Sees({Row("10.0.1.5", Mac(2))}, {Event("mac_changed", "10.0.1.5", Mac(2), Mac(1))}),
      Sees({Row("10.0.1.5", Mac(1))}, {Event("flip_flop", "10.0.1.5", Mac(1), Mac(2))}),
      Sees({Row("10.0.1.5", Mac(2))},
           {Event("flip_flop", "10.0.1.5", Mac(2), Mac(1)) + " held",
            Event("gone", "10.0.1.6", Mac(6))},
           23h),
      Sees({Row("10.0.1.5", Mac(1))}, {Event("flip_flop", "10.0.1.5", Mac(1), Mac(2))}, 25h)}},
    {"virtual-router MACs change nothing but are kept",
     {{{{kR1, {.rows = {Row("10.0.1.1", kVrrp)}}}}},
      Sees({Row("10.0.1.1", Mac(1))}, {}),
      Sees({Row("10.0.1.1", kVrrp)}, {})},
     {"10.0.1.1 " + kVrrp + " 10.0.0.1/1 2 current", "10.0.1.1 " + Mac(1) + " 10.0.0.1/1 1 old"}},
    {"zero, broadcast and group MACs and unspecified addresses are not kept",
     {Sees({Row("10.0.1.2", "00 00 00 00 00 00"), Row("10.0.1.3", "ff ff ff ff ff ff"),
            Row("10.0.1.4", "01 00 5e 00 00 01"), Row("10.0.1.7", "33 33 00 00 00 01"),
            Row("0.0.0.0", Mac(5)), Row("::", Mac(5)), Row("10.0.1.8", "00 11"),
            Row("fe80::1", Mac(8))},
           {})},
     {"fe80::1 " + Mac(8) + " 10.0.0.1/1 1 current"}},
    {"a failed walk closes nothing and records nothing",
     {kBaseline,
      {{{kR1, {WalkOutcome::kNoAnswer, {Row("10.0.1.9", Mac(9))}}}}},
      {{{kR1, {WalkOutcome::kTimeLimit, {}}}}},
      {{{kR1, {WalkOutcome::kBadResponse, {}}}}},
      {{{kR1, {WalkOutcome::kRefused, {}}}}},
      Sees({Row("10.0.1.5", Mac(1)), Row("10.0.1.6", Mac(6))}, {})},
     {"10.0.1.5 " + Mac(1) + " 10.0.0.1/1 2 current",
      "10.0.1.6 " + Mac(6) + " 10.0.0.1/1 2 current"}},
    {"a pairing missing from three normal walks of its router is gone",
     {kBaseline,
      Sees({Row("10.0.1.5", Mac(1))}, {}),
      Sees({Row("10.0.1.5", Mac(1))}, {}),
      {{{kR1, {WalkOutcome::kNoAnswer, {}}}}},
      Sees({Row("10.0.1.5", Mac(1))}, {Event("gone", "10.0.1.6", Mac(6))}),
      Sees({Row("10.0.1.5", Mac(1))}, {})},
     {"10.0.1.5 " + Mac(1) + " 10.0.0.1/1 5 current", "10.0.1.6 " + Mac(6) + " 10.0.0.1/1 1 old"}},
    {"a pairing seen on another router or interface has moved, unless still seen where it was",
     {kBaseline,
      {{{kR1, {.rows = {Row("10.0.1.6", Mac(6))}}}, {kR2, {.rows = {Row("10.0.1.5", Mac(1), 3)}}}},
       {Event("moved", "10.0.1.5", Mac(1), "", "10.0.0.2/3")}},
      {{{kR1, {.rows = {Row("10.0.1.6", Mac(6), 2), Row("10.0.1.5", Mac(1))}}},
        {kR2, {.rows = {Row("10.0.1.6", Mac(6))}}}},
       {Event("moved", "10.0.1.5", Mac(1), "", "10.0.0.1/1"),
        Event("moved", "10.0.1.6", Mac(6), "", "10.0.0.1/2")}},
      // Its router silent, the pairing seen elsewhere stays where it was.
      {{{kR1, {WalkOutcome::kNoAnswer, {}}}, {kR2, {.rows = {Row("10.0.1.5", Mac(1), 3)}}}}, {}}},
     {"10.0.1.5 " + Mac(1) + " 10.0.0.1/1 4 current",
      "10.0.1.6 " + Mac(6) + " 10.0.0.1/2 3 current"}},
    {"a pairing unseen for more than QuietDays is new activity",
     {kBaseline, Sees({Row("10.0.1.5", Mac(1))}, {}, 24h * 170),
      Sees({Row("10.0.1.5", Mac(1)), Row("10.0.1.6", Mac(6))},
           {Event("new_activity", "10.0.1.6", Mac(6))}, 24h * 11)}},
    {"pairings and events older than HistoryDays are pruned once a day",
     {kBaseline,
      Sees({Row("10.0.1.5", Mac(2))}, {Event("mac_changed", "10.0.1.5", Mac(2), Mac(1))}),
      Sees({Row("10.0.1.5", Mac(2))}, {}, 36h)},
     {"10.0.1.5 " + Mac(2) + " 10.0.0.1/1 2 current"},
     1},
    {"HistoryDays 0 keeps nothing and reports nothing",
     {kBaseline, Sees({Row("10.0.1.5", Mac(2))}, {})},
     {},
     0},
};

TEST(AddressHistory, ChangesFoundCycleAfterCycle) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Job job(c.history_days);
    for (size_t i = 0; i < c.cycles.size(); ++i)
      EXPECT_EQ(job.RunCycle(c.cycles[i]), c.cycles[i].events) << "cycle " << i + 1;
    if (!c.history.empty() || c.history_days == 0) {
      EXPECT_EQ(job.History(), c.history);
    }
  }
}

TEST(AddressHistory, TheFirstCycleLogsItsBaselineOnce) {
  Job job(400);
  job.RunCycle(kBaseline);
  job.RunCycle(kBaseline);
  const auto lines = test::SplitCrLfLines(test::ReadFile(job.folder.AppEvent()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\t3\tmodSnmpComm_AddressHistory\tAddress history started: 2 pairings "
                          "recorded as the baseline"),
            std::string::npos)
      << lines[0];
}

}  // namespace
}  // namespace vexa

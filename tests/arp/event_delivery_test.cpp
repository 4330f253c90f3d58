// The delivery of a cycle's changes: the journal entries (through the
// journal seam), the EventCommand program run with the changes as JSON
// lines on its standard input, and what the event log says when the program
// fails. The programs are real shell scripts; the clock is simulated so the
// time limit passes in a moment.
#include "arp/event_delivery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "arp/address_json.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;

// 2026-12-09 11:00:00 UTC, shown in a zone one hour east.
constexpr int64_t kTime = 1796814000;

AddressEvent Change(const std::string& kind, const std::string& ip, bool delivered = true) {
  return {kTime,
          kind,
          ip,
          "00 1a 2b 3c 4d 5e",
          kind == "mac_changed" ? "00 1a 2b 3c 4d 5f" : "",
          "10.0.0.1",
          3,
          delivered,
          ""};
}

struct Case {
  const char* name;
  std::string script;  // body after "#!/bin/sh"; $OUT is the file it may write
  std::vector<std::vector<AddressEvent>> cycles;
  std::string received;          // what the program's runs wrote to $OUT
  std::vector<std::string> log;  // texts of the event-log lines
  size_t journal_entries = 0;
  // Real time each wait of the loop gives the program; none lets the
  // simulated time limit pass at once.
  std::chrono::milliseconds real_time_per_wait = 2ms;
};

const std::string kLine1 =
    "{\"time\":\"2026-12-09T12:00:00+01:00\",\"kind\":\"mac_changed\",\"ip\":\"10.0.0.7\","
    "\"mac\":\"00 1a 2b 3c 4d 5e\",\"old_mac\":\"00 1a 2b 3c 4d 5f\",\"router\":\"10.0.0.1\","
    "\"if_index\":3,\"vendor\":\"Ayecom Technology Co., Ltd.\"}\n";
const std::string kLine2 =
    "{\"time\":\"2026-12-09T12:00:00+01:00\",\"kind\":\"new_ip\",\"ip\":\"10.0.0.8\","
    "\"mac\":\"00 1a 2b 3c 4d 5e\",\"old_mac\":\"\",\"router\":\"10.0.0.1\",\"if_index\":3,"
    "\"vendor\":\"Ayecom Technology Co., Ltd.\"}\n";

const std::vector<Case> kCases = {
    {"one run per cycle with every delivered change, none for held ones",
     "cat >> \"$OUT\"; echo --- >> \"$OUT\"",
     {{Change("mac_changed", "10.0.0.7"), Change("flip_flop", "10.0.0.9", false),
       Change("new_ip", "10.0.0.8")},
      {Change("flip_flop", "10.0.0.9", false)},
      {Change("new_ip", "10.0.0.8")}},
     kLine1 + kLine2 + "---\n" + kLine2 + "---\n",
     {},
     3},
    {"a failing program is logged once per run and the next run has the new changes only",
     "cat >> \"$OUT\"; exit 3",
     {{Change("mac_changed", "10.0.0.7")}, {Change("new_ip", "10.0.0.8")}},
     kLine1 + kLine2,
     {"ended with exit status 3", "ended with exit status 3"},
     2},
    {"a program that hangs is stopped after 60 s",
     "exec sleep 600",
     {{Change("new_ip", "10.0.0.8")}},
     "",
     {"was stopped after 60 s"},
     1,
     0ms},
    {"a program that reads nothing still gets its run",
     "exit 0",
     {{Change("new_ip", "10.0.0.8")}},
     "",
     {},
     1},
};

TEST(EventDelivery, JournalAndEventCommand) {
  ::setenv("TZ", "CET-1", 1);
  ::tzset();
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    test::ProgramFolder folder;
    const std::string out = folder.Scratch() + "/received";
    const std::string script = folder.Scratch() + "/on-change.sh";
    test::WriteFile(script, "#!/bin/sh\nOUT='" + out + "'\n" + c.script + "\n");
    ::chmod(script.c_str(), 0755);
    SimulatedClock clock{WallTime(std::chrono::seconds(kTime))};
    clock.SetRealPollBudget(c.real_time_per_wait);
    EventLoop loop{clock};
    std::string program_folder = folder.path(), db_path = folder.Database();
    CollectorSettings settings;
    settings.event_command = script;
    EventLog log{loop, program_folder};
    CollectorContext ctx{loop, log, program_folder, db_path, settings};
    std::vector<std::vector<JournalField>> journal;
    EventDelivery delivery(ctx, [&](const std::vector<JournalField>& f) { journal.push_back(f); });
    for (const auto& events : c.cycles) {
      delivery.Deliver(events);
      // Each cycle's run ends (or is stopped) before the next cycle.
      loop.WaitMs(200);
      ASSERT_TRUE(loop.WaitUntil([&] { return !delivery.Busy(); }, 120s));
    }
    EXPECT_EQ(test::ReadFile(out), c.received);
    const auto logged = test::SplitCrLfLines(test::ReadFile(folder.AppEvent()));
    ASSERT_EQ(logged.size(), c.log.size());
    for (size_t i = 0; i < c.log.size(); ++i)
      EXPECT_NE(logged[i].find("\t1\tmodSnmpComm_RunEventCommand\tEventCommand " + script + " " +
                               c.log[i]),
                std::string::npos)
          << logged[i];
    EXPECT_EQ(journal.size(), c.journal_entries);
  }
}

TEST(EventDelivery, JournalEntryCarriesTheChangeInFields) {
  AddressEvent change = Change("mac_changed", "10.0.0.7");
  change.router = "r\n1";  // agent text stays one field
  const std::vector<JournalField> expected = {
      {"MESSAGE",
       "Address mac_changed: 10.0.0.7 00 1a 2b 3c 4d 5e (was 00 1a 2b 3c 4d 5f) on r\n1 "
       "interface 3"},
      {"PRIORITY", "5"},
      {"VEXA_EVENT", "mac_changed"},
      {"VEXA_IP", "10.0.0.7"},
      {"VEXA_MAC", "00 1a 2b 3c 4d 5e"},
      {"VEXA_OLD_MAC", "00 1a 2b 3c 4d 5f"},
      {"VEXA_ROUTER", "r\n1"},
      {"VEXA_IF_INDEX", "3"},
      {"VEXA_VENDOR", "Acme"}};
  change.vendor = "Acme";
  const auto entry = JournalEntryOf(change);
  ASSERT_EQ(entry.size(), expected.size());
  for (size_t i = 0; i < entry.size(); ++i) {
    EXPECT_EQ(entry[i].name, expected[i].name);
    EXPECT_EQ(entry[i].value, expected[i].value);
  }
  // Hostile text in JSON: control characters as \u00XX, quotes escaped.
  change.router = "a\x01\"b";
  EXPECT_NE(EventJsonLine(change).find("\"router\":\"a\\u0001\\\"b\""), std::string::npos);
}

}  // namespace
}  // namespace vexa

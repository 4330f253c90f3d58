// The address history over three jobs of the collector (in this process, on
// the simulated clock) against real agents: snmpsim serving ARP tables that
// change between cycles. Checked: the stored history, the exact changes,
// the journal entries (through the journal seam) and what the EventCommand
// program read; a restart with nothing changed raises nothing, and a router
// that stops answering raises no gone.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>

#include "collector_service.h"
#include "db/sqlite.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;

constexpr const char* kR1 = "127.0.61.2";
constexpr const char* kR2 = "127.0.61.3";

class NoNames : public dns::ReverseResolver {
 public:
  std::vector<dns::LookupResult> LookupAll(const std::vector<std::string>& a) override {
    return std::vector<dns::LookupResult>(a.size(), {dns::LookupOutcome::kNotFound, "none"});
  }
};

test::ArpEntry Entry(const std::string& ip, int mac, int32_t if_index = 1) {
  return {if_index, ip, std::string("\x02\x00\x00\x00\x00", 5) + static_cast<char>(mac), 3};
}
std::string Mac(int n) {
  char text[24];
  std::snprintf(text, sizeof text, "02 00 00 00 00 %02x", n);
  return text;
}

// One job: the collector started at `start` (half a minute before a full
// hour: its first poll comes at the full hour, then one every 300 s), then
// stopped. Simulated time passes at once while nothing is due; around a poll
// every wait of the loop gives the agents and the EventCommand program some
// real time.
class Job {
 public:
  Job(const test::ProgramFolder& folder, LocalDateTime start,
      std::vector<std::vector<JournalField>>& journal)
      : folder_(folder), clock_(FromLocal(start)) {
    collector_ = std::make_unique<CollectorService>(CollectorService::Platform{
        .loop = loop_,
        .services = *services_,
        .resolver = resolver_,
        .message_box = [](const std::string&, BoxIcon) {},
        .executable_path = [this] { return folder_.Collector(); },
        .journal = [&journal](const std::vector<JournalField>& f) { journal.push_back(f); },
        .terminate = [](int) {}});
    if (!collector_->StartUp("")) throw std::runtime_error("the collector did not start");
  }
  // Runs on to 1 s before the next poll, then through the poll and the
  // delivery of its changes.
  void NextPoll() {
    clock_.SetRealPollBudget(0ms);
    loop_.WaitUntil([] { return false; }, until_poll_ - 1s);
    clock_.SetRealPollBudget(5ms);
    loop_.WaitUntil([] { return false; }, 12s);
    until_poll_ = 300s - 11s;
  }
  ~Job() {
    collector_->Host().Notify(ServiceHost::kStop);
    loop_.WaitUntil([] { return false; }, 2s);
  }

 private:
  const test::ProgramFolder& folder_;
  SimulatedClock clock_;
  EventLoop loop_{clock_};
  std::unique_ptr<ServiceManager> services_ = MakeLocalServiceManager(folder_.Scratch() + "/svc");
  NoNames resolver_;
  std::unique_ptr<CollectorService> collector_;
  Millis until_poll_ = 30s;
};

std::vector<std::string> Events(const test::ProgramFolder& folder) {
  std::vector<std::string> out;
  Database db = Database::Open(folder.Database(), true);
  Statement st = db.Prepare(
      "SELECT Kind, IpAddr, MacAddr, OldMacAddr, Router, IfIndex, Delivered FROM ArpEvent "
      "ORDER BY ID");
  while (st.Step())
    out.push_back(st.ColumnText(0) + " " + st.ColumnText(1) + " " + st.ColumnText(2) + " " +
                  st.ColumnText(3) + " " + st.ColumnText(4) + "/" + st.ColumnText(5) +
                  (st.ColumnInt64(6) ? "" : " held"));
  return out;
}

std::vector<std::string> History(const test::ProgramFolder& folder) {
  std::vector<std::string> out;
  Database db = Database::Open(folder.Database(), true);
  Statement st = db.Prepare(
      "SELECT IpAddr, MacAddr, Router, Cycles, IsCurrent FROM ArpHistory ORDER BY IpAddr, "
      "MacAddr");
  while (st.Step())
    out.push_back(st.ColumnText(0) + " " + st.ColumnText(1) + " " + st.ColumnText(2) + " " +
                  st.ColumnText(3) + (st.ColumnInt64(4) ? " current" : ""));
  return out;
}

TEST(HistoryEndToEnd, ThreeJobsAgainstChangingAgents) {
  test::ProgramFolder folder;
  const std::string received = folder.Scratch() + "/received.jsonl";
  const std::string script = folder.Scratch() + "/on-change.sh";
  test::WriteFile(script, "#!/bin/sh\ncat >> '" + received + "'\necho --- >> '" + received + "'\n");
  ::chmod(script.c_str(), 0755);
  folder.Sql("UPDATE Settings_General SET RouterList = '" + std::string(kR1) +
             "' || char(13, 10) || '" + kR2 + "', TimeOut = 1, Retries = 1, CheckInterval = 300, " +
             "StopTime = '2030-01-01 00:00', DnsCheck = 0, EventCommand = '" + script + "', " +
             "MetricsFile = '" + folder.Scratch() + "/vexa_arp.prom'");
  std::vector<std::vector<JournalField>> journal;

  const std::vector<test::ArpEntry> first = {Entry("10.9.0.10", 1), Entry("10.9.0.11", 2),
                                             Entry("10.9.0.12", 3)};
  const std::vector<test::ArpEntry> second = {Entry("10.9.0.20", 4, 2)};
  auto r1 = std::make_unique<test::SimulatedAgent>(test::AgentOptions{.address = kR1}, first);
  auto r2 = std::make_unique<test::SimulatedAgent>(test::AgentOptions{.address = kR2}, second);

  // Job 1: the baseline, logged once, nothing delivered.
  {
    Job job(folder, {2026, 3, 5, 10, 59, 30}, journal);
    job.NextPoll();
  }
  EXPECT_NE(test::ReadFile(folder.AppEvent())
                .find("\tmodSnmpComm_AddressHistory\tAddress history started: 4 pairings "
                      "recorded as the baseline"),
            std::string::npos)
      << test::ReadFile(folder.AppEvent());
  EXPECT_EQ(Events(folder), std::vector<std::string>{});

  // Job 2: a restart with nothing changed.
  {
    Job job(folder, {2026, 3, 5, 11, 59, 30}, journal);
    job.NextPoll();
  }
  EXPECT_EQ(Events(folder), std::vector<std::string>{});
  EXPECT_TRUE(journal.empty());
  EXPECT_FALSE(FileExists(received));

  // Job 3: a new MAC address and a move; then the old MAC address back while
  // the second router is silent; then a pairing missing from three walks.
  r1 = std::make_unique<test::SimulatedAgent>(test::AgentOptions{.address = kR1},
                                              std::vector{Entry("10.9.0.10", 9)});
  r2 = std::make_unique<test::SimulatedAgent>(
      test::AgentOptions{.address = kR2},
      std::vector{Entry("10.9.0.12", 3, 5), Entry("10.9.0.20", 4, 2)});
  {
    Job job(folder, {2026, 3, 5, 12, 59, 30}, journal);
    job.NextPoll();
    r1 = std::make_unique<test::SimulatedAgent>(test::AgentOptions{.address = kR1},
                                                std::vector{Entry("10.9.0.10", 1)});
    r2.reset();
    job.NextPoll();
    job.NextPoll();
  }
  const std::vector<std::string> expected = {
      "mac_changed 10.9.0.10 " + Mac(9) + " " + Mac(1) + " 127.0.61.2/1",
      "moved 10.9.0.12 " + Mac(3) + "  127.0.61.3/5",
      "flip_flop 10.9.0.10 " + Mac(1) + " " + Mac(9) + " 127.0.61.2/1",
      "gone 10.9.0.11 " + Mac(2) + "  127.0.61.2/1",
  };
  EXPECT_EQ(Events(folder), expected);
  EXPECT_EQ(
      History(folder),
      (std::vector<std::string>{
          "10.9.0.10 " + Mac(1) + " 127.0.61.2 4 current", "10.9.0.10 " + Mac(9) + " 127.0.61.2 1",
          "10.9.0.11 " + Mac(2) + " 127.0.61.2 2", "10.9.0.12 " + Mac(3) + " 127.0.61.3 3 current",
          "10.9.0.20 " + Mac(4) + " 127.0.61.3 3 current"}));

  // The test's MAC addresses have the locally administered bit set.
  const std::string kVendor = "VEXA_VENDOR=(locally administered);";
  const std::string kJsonVendor = "\"vendor\":\"(locally administered)\"";
  std::vector<std::string> journaled;
  for (const auto& entry : journal) {
    std::string line;
    for (const JournalField& f : entry)
      if (f.name.starts_with("VEXA_")) line += f.name + "=" + f.value + ";";
    journaled.push_back(line);
  }
  EXPECT_EQ(
      journaled,
      (std::vector<std::string>{
          "VEXA_EVENT=mac_changed;VEXA_IP=10.9.0.10;VEXA_MAC=" + Mac(9) +
              ";VEXA_OLD_MAC=" + Mac(1) + ";VEXA_ROUTER=127.0.61.2;VEXA_IF_INDEX=1;" + kVendor,
          "VEXA_EVENT=moved;VEXA_IP=10.9.0.12;VEXA_MAC=" + Mac(3) +
              ";VEXA_OLD_MAC=;VEXA_ROUTER=127.0.61.3;VEXA_IF_INDEX=5;" + kVendor,
          "VEXA_EVENT=flip_flop;VEXA_IP=10.9.0.10;VEXA_MAC=" + Mac(1) + ";VEXA_OLD_MAC=" + Mac(9) +
              ";VEXA_ROUTER=127.0.61.2;VEXA_IF_INDEX=1;" + kVendor,
          "VEXA_EVENT=gone;VEXA_IP=10.9.0.11;VEXA_MAC=" + Mac(2) +
              ";VEXA_OLD_MAC=;VEXA_ROUTER=127.0.61.2;VEXA_IF_INDEX=1;" + kVendor}));

  // The metrics file counts the last job's changes by kind, every kind present.
  const std::string metrics = test::ReadFile(folder.Scratch() + "/vexa_arp.prom");
  for (const char* counted :
       {"{kind=\"mac_changed\"} 1\n", "{kind=\"moved\"} 1\n", "{kind=\"flip_flop\"} 1\n",
        "{kind=\"gone\"} 1\n", "{kind=\"new_ip\"} 0\n", "{kind=\"reused_mac\"} 0\n"})
    EXPECT_NE(metrics.find(std::string("vexa_arp_events_total") + counted), std::string::npos)
        << counted << metrics;

  // One run per cycle with changes, each with that cycle's changes only.
  const std::string input = test::ReadFile(received);
  std::vector<std::string> runs(1);
  for (size_t at = 0, end; (end = input.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = input.substr(at, end - at);
    if (line == "---")
      runs.emplace_back();
    else
      runs.back() += line.substr(line.find("\"kind\"")) + "\n";
  }
  EXPECT_EQ(
      runs,
      (std::vector<std::string>{
          "\"kind\":\"mac_changed\",\"ip\":\"10.9.0.10\",\"mac\":\"" + Mac(9) +
              "\",\"old_mac\":\"" + Mac(1) + "\",\"router\":\"127.0.61.2\",\"if_index\":1," +
              kJsonVendor +
              "}\n"
              "\"kind\":\"moved\",\"ip\":\"10.9.0.12\",\"mac\":\"" +
              Mac(3) + "\",\"old_mac\":\"\",\"router\":\"127.0.61.3\",\"if_index\":5," +
              kJsonVendor + "}\n",
          "\"kind\":\"flip_flop\",\"ip\":\"10.9.0.10\",\"mac\":\"" + Mac(1) + "\",\"old_mac\":\"" +
              Mac(9) + "\",\"router\":\"127.0.61.2\",\"if_index\":1," + kJsonVendor + "}\n",
          "\"kind\":\"gone\",\"ip\":\"10.9.0.11\",\"mac\":\"" + Mac(2) +
              "\",\"old_mac\":\"\",\"router\":\"127.0.61.2\",\"if_index\":1," + kJsonVendor + "}\n",
          ""}));
}

}  // namespace
}  // namespace vexa

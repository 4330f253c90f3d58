// The collector's service life in one process on the simulated clock: the
// start sequence runs once, the stop sequence ends the process, and a stop
// time already past at the start exports at the first tick.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>
#include <sstream>

#include "collector_service.h"
#include "db/schema_upgrade.h"
#include "db/sqlite.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "support/scripted_agent.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;

// Lines (CR LF ends) that hold a control byte other than a tab, or more tabs
// than their format has.
std::vector<std::string> LinesOutOfFormat(const std::string& text, long max_tabs) {
  std::vector<std::string> bad;
  for (const std::string& line : test::SplitCrLfLines(text)) {
    const bool control = std::any_of(line.begin(), line.end(), [](char c) {
      const auto b = static_cast<unsigned char>(c);
      return (b < 0x20 && b != '\t') || b == 0x7f;
    });
    if (control || std::count(line.begin(), line.end(), '\t') > max_tabs)
      bad.push_back(line.substr(0, 80));
  }
  return bad;
}

class NoNames : public dns::ReverseResolver {
 public:
  std::vector<dns::LookupResult> LookupAll(const std::vector<std::string>& a) override {
    return std::vector<dns::LookupResult>(a.size(), {dns::LookupOutcome::kNotFound, "none"});
  }
};

class CollectorServiceTest : public ::testing::Test {
 protected:
  std::vector<std::string> LogTexts() {
    std::vector<std::string> out;
    for (const auto& line : test::SplitCrLfLines(ReadFile(folder.AppEvent())))
      out.push_back(line.substr(20));
    return out;
  }

  test::ProgramFolder folder;
  SimulatedClock clock{FromLocal({2024, 3, 5, 10, 17, 0})};
  EventLoop loop{clock};
  std::unique_ptr<ServiceManager> services = MakeLocalServiceManager(folder.Scratch() + "/svc");
  NoNames resolver;
  std::vector<int> terminated;
  CollectorService collector{{.loop = loop,
                              .services = *services,
                              .resolver = resolver,
                              .message_box = [](const std::string&, BoxIcon) {},
                              .executable_path = [this] { return folder.Collector(); },
                              .terminate = [this](int status) { terminated.push_back(status); }}};
};

TEST_F(CollectorServiceTest, StartRunsOnceStopEndsTheProcess) {
  test::WriteFile(folder.File("Debug/Snmp.txt"), "old");
  folder.Sql("INSERT INTO ArpTable (IpAddr, SeenTimes) VALUES ('10.0.0.1', 4)");
  ASSERT_TRUE(collector.StartUp(""));
  EXPECT_TRUE(LogTexts().empty()) << "nothing happens before the start notification";
  loop.WaitMs(10);
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{"3\tfrmVexaArpSrv_dartSvc_State\tService Started."}));
  EXPECT_EQ(collector.DatabasePath(), folder.Database());
  EXPECT_FALSE(FileExists(folder.File("Debug/Snmp.txt")));
  EXPECT_TRUE(collector.SnmpManager().IsOpen());
  EXPECT_TRUE(collector.Polling().Enabled());
  EXPECT_TRUE(collector.Walker().Enabled());
  EXPECT_EQ(collector.Polling().LastHour(), 10);
  EXPECT_TRUE(collector.Polling().FirstPollPending());
  EXPECT_EQ(collector.ServiceStartTime(), (LocalDateTime{2024, 3, 5, 10, 17, 0}));

  // A second start in the same process does nothing at all.
  test::WriteFile(folder.File("Debug/Snmp.txt"), "kept");
  collector.Host().Notify(ServiceHost::kStart);
  EXPECT_EQ(LogTexts().size(), 1u);
  EXPECT_TRUE(FileExists(folder.File("Debug/Snmp.txt")));

  collector.Host().Notify(ServiceHost::kStop);
  EXPECT_FALSE(collector.Polling().Enabled());
  EXPECT_FALSE(collector.Walker().Enabled());
  EXPECT_EQ(LogTexts().back(), "3\tfrmVexaArpSrv_dartSvc_State\tService Stopped");
  EXPECT_EQ(terminated, (std::vector<int>{0}));
}

TEST_F(CollectorServiceTest, AStopTimePastAtTheStartExportsTheEmptiedStoreAtTheFirstTick) {
  folder.Sql("UPDATE Settings_General SET StopTime = '2024-03-01 08:00'");
  folder.Sql("INSERT INTO ArpTable (IpAddr, SeenTimes) VALUES ('10.0.0.1', 4)");
  ASSERT_TRUE(collector.StartUp(""));
  loop.WaitMs(10);
  EXPECT_FALSE(FileExists(folder.File("ArpList.txt")));
  loop.WaitMs(30000);
  EXPECT_EQ(ReadFile(folder.File("ArpList.txt")),
            "Start:\t2024-03-05 10:17\r\nStop:\t2024-03-01 08:00\r\n\r\n"
            "IpAddress\tMacAddress\tSeenTimes\tDnsName\r\n");
  EXPECT_FALSE(collector.Polling().Enabled());
  EXPECT_TRUE(collector.Walker().Enabled()) << "the service stays up, idle";
  EXPECT_TRUE(terminated.empty());
}

TEST_F(CollectorServiceTest, AFailedExportIsTriedAgainAtTheFollowingTicksUntilItIsWritten) {
  folder.Sql("UPDATE Settings_General SET StopTime = '2024-03-01 08:00'");
  ASSERT_TRUE(collector.StartUp(""));
  loop.WaitMs(10);
  folder.Sql(
      "INSERT INTO ArpTable (IpAddr, MacAddr, SeenTimes) VALUES ('10.0.0.1', 'a', 4), "
      "('10.0.0.2', 'b', 1)");
  {
    test::UnwritableFolder unwritable(folder.path());
    loop.WaitMs(60000);  // the tick of the stop time and the next one fail
    EXPECT_FALSE(FileExists(folder.File("ArpList.txt")));
    EXPECT_TRUE(collector.Polling().Enabled());
  }
  loop.WaitMs(30000);
  EXPECT_EQ(ReadFile(folder.File("ArpList.txt")),
            "Start:\t2024-03-05 10:17\r\nStop:\t2024-03-01 08:00\r\n\r\n"
            "IpAddress\tMacAddress\tSeenTimes\tDnsName\r\n"
            "10.0.0.1\ta\t4\tn/a\r\n10.0.0.2\tb\t1\tn/a\r\n");
  EXPECT_FALSE(collector.Polling().Enabled());
  loop.WaitMs(60000);
  // One line for the failure, whatever the number of attempts it held up,
  // and one when the list is written.
  const auto texts = LogTexts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[1].rfind("1\tmodSnmpComm_DnsLookupAndExport\t", 0), 0u) << texts[1];
  EXPECT_EQ(texts[2],
            "3\tmodSnmpComm_DnsLookupAndExport\tArpList.txt written after 2 failed attempts");
}

TEST_F(CollectorServiceTest, AnExportFileThatCannotBeDeletedStopsTheStart) {
  ::mkdir(folder.File("ArpList.txt").c_str(), 0755);
  test::WriteFile(folder.File("ArpList.txt/held"), "");  // a folder with content: unlink fails
  ASSERT_TRUE(collector.StartUp(""));
  loop.WaitMs(10);
  const auto texts = LogTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(
      texts[0].rfind(
          "1\tfrmVexaArpSrv_dartSvc_State\tCould not delete " + folder.File("ArpList.txt"), 0),
      0u)
      << texts[0];
  EXPECT_FALSE(collector.Polling().Enabled());
  EXPECT_FALSE(collector.Walker().Enabled());
  // Nor does a later start notification try again.
  std::filesystem::remove_all(folder.File("ArpList.txt"));
  collector.Host().Notify(ServiceHost::kStart);
  EXPECT_EQ(LogTexts().size(), 1u);
}

TEST_F(CollectorServiceTest, ADatabaseOfANewerSchemaStopsTheStartAndIsLeftAsItWas) {
  folder.Sql("PRAGMA user_version = 1000");
  const std::string before = ReadFile(folder.Database());
  ASSERT_TRUE(collector.StartUp(""));
  loop.WaitMs(10);
  EXPECT_EQ(LogTexts(), (std::vector<std::string>{
                            "1\tfrmVexaArpSrv_dartSvc_State\tThe database '" + folder.Database() +
                            "' is of schema version 1000, newer than this program reads (up to " +
                            std::to_string(CurrentSchemaVersion()) +
                            "): it was made or upgraded by a newer Vexa ARP, which is needed to "
                            "use it. Nothing was changed."}));
  EXPECT_FALSE(collector.Polling().Enabled());
  EXPECT_EQ(ReadFile(folder.Database()), before);
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST_F(CollectorServiceTest, NoAgentByteReachesTheStoreTheListOrATrace) {
  const int pid = static_cast<int>(::getpid());
  const std::string router =
      "127.21." + std::to_string((pid >> 8) & 255) + "." + std::to_string(pid & 255);
  test::ScriptedAgent agent(loop, router);
  agent.rows = test::MakeRows(3);
  // A physical address too long to format, and a type that is text.
  std::string hostile;
  while (hostile.size() < 32768) hostile += "A\tB\r\nC\x01\x1b[2J\x7f";
  agent.rows[0].mac = hostile;
  agent.script = [&](const snmp::Message& request) {
    snmp::Message reply = agent.Answer(request);
    if (agent.requests.size() == 3) {
      reply.bindings[3].syntax = snmp::syntax::kOctetString;
      reply.bindings[3].value = "3\t\r\nforged\x1b";
    }
    return std::vector<snmp::Message>{reply};
  };
  folder.Sql("UPDATE Settings_General SET RouterList = '" + router +
             "', DebugMode = 1, DnsCheck = 1, StopTime = '2024-03-05 10:59'");
  ASSERT_TRUE(collector.StartUp(""));
  loop.WaitMs(44 * 60 * 1000);  // the first tick of 11:00 polls and exports

  ASSERT_EQ(agent.requests.size(), 3u);
  Database db = Database::Open(folder.Database());
  Statement rows = db.Prepare("SELECT IpAddr || MacAddr || DnsName FROM ArpTable");
  int stored = 0;
  for (; rows.Step(); ++stored) EXPECT_TRUE(LinesOutOfFormat(rows.ColumnText(0), 0).empty());
  EXPECT_EQ(stored, 2);
  const std::pair<const char*, long> files[] = {
      {"ArpList.txt", 3},    {"Debug/ArpTable.txt", 4}, {"Debug/AppEvent2.txt", 1},
      {"Debug/Snmp.txt", 6}, {"Debug/AppEvent.txt", 3},
  };
  for (const auto& [name, tabs] : files) {
    const std::string text = ReadFile(folder.File(name));
    EXPECT_FALSE(text.empty()) << name;
    EXPECT_EQ(LinesOutOfFormat(text, tabs), std::vector<std::string>{}) << name;
  }
  EXPECT_EQ(test::SplitCrLfLines(ReadFile(folder.File("ArpList.txt"))).size(), 6u);
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

// DebugMode with a Debug folder that cannot take the traces or the log: the
// job still walks, stores and exports; stderr tells the first trace and the
// first log line lost, and the log tells the trace when it can. A usable
// folder gets trace files that, like the database, only their owner reads.
struct DebugFolderCase {
  std::string name;
  std::vector<std::string> told;  // stderr lines begin so, DEBUG for the folder
  long logged;                    // trace failures in the log
};

class DebugFolderTest : public CollectorServiceTest,
                        public ::testing::WithParamInterface<DebugFolderCase> {};

TEST_P(DebugFolderTest, DebugModeStillCollectsAndExports) {
  const std::string& kind = GetParam().name;
  const std::string debug = folder.File("Debug");
  const std::string victim = folder.Scratch() + "/victim";
  test::WriteFile(victim, "kept");
  const int pid = static_cast<int>(::getpid());
  const std::string router =
      "127.22." + std::to_string((pid >> 8) & 255) + "." + std::to_string(pid & 255);
  test::ScriptedAgent agent(loop, router);
  agent.rows = test::MakeRows(3);
  folder.Sql("UPDATE Settings_General SET RouterList = '" + router +
             "', DebugMode = 1, StopTime = '2024-03-05 10:59'");
  std::optional<test::UnwritableFolder> unwritable;
  if (kind == "missing") std::filesystem::remove_all(debug);
  if (kind == "unwritable") unwritable.emplace(debug);

  test::CapturedStderr err;
  ASSERT_TRUE(collector.StartUp(""));
  loop.WaitMs(10);  // links planted now outlive the start's clean-up
  for (const std::string name : {"/AppEvent.txt", "/Snmp.txt"})
    if (kind == "links" || (kind == "trace link" && name == "/Snmp.txt")) {
      ::unlink((debug + name).c_str());
      ASSERT_EQ(::symlink(victim.c_str(), (debug + name).c_str()), 0);
    }
  loop.WaitMs(44 * 60 * 1000);  // the first tick of 11:00 polls and exports
  unwritable.reset();

  EXPECT_EQ(agent.requests.size(), 4u) << "three rows and the end of the table";
  EXPECT_EQ(test::SplitCrLfLines(ReadFile(folder.File("ArpList.txt"))).size(), 7u);
  EXPECT_EQ(ReadFile(victim), "kept");
  std::istringstream lines(err.Text());
  std::string line;
  for (std::string want : GetParam().told) {
    ASSERT_TRUE(std::getline(lines, line)) << err.Text();
    EXPECT_EQ(line.rfind("VexaArpSrv: " + want.replace(want.find("DEBUG"), 5, debug), 0), 0u)
        << line;
  }
  EXPECT_FALSE(std::getline(lines, line)) << line;
  const std::string log = ReadFile(folder.AppEvent());
  EXPECT_EQ(static_cast<long>(log.find("\t1\tmodSnmpComm_WriteTrace\tCould not write ") !=
                              std::string::npos),
            GetParam().logged);
  if (kind != "usable") return;
  for (const char* name : {"VexaArp.mdb", "Debug/Services.txt", "Debug/ArpTable.txt"}) {
    struct stat st {};
    ASSERT_EQ(::stat(folder.File(name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
}

const std::string kTraceLost = "; the job goes on, and further trace failures";
const std::string kLogLost = "; its lines of this job are lost, the first: ";
const std::string kLoop = ": Too many levels of symbolic links";
INSTANTIATE_TEST_SUITE_P(
    Folders, DebugFolderTest,
    ::testing::Values(
        DebugFolderCase{"usable", {}, 0},
        DebugFolderCase{
            "missing",
            {"Could not write DEBUG/Services.txt: No such file or directory" + kTraceLost,
             "could not write the event log DEBUG/AppEvent.txt: No such file or "
             "directory" +
                 kLogLost},
            0},
        DebugFolderCase{
            "unwritable",
            {"Could not write DEBUG/Services.txt: Permission denied" + kTraceLost,
             "could not write the event log DEBUG/AppEvent.txt: Permission denied" + kLogLost},
            0},
        DebugFolderCase{"links",
                        {"Could not write DEBUG/Snmp.txt" + kLoop + kTraceLost,
                         "could not write the event log DEBUG/AppEvent.txt" + kLoop + kLogLost},
                        0},
        DebugFolderCase{"trace link", {"Could not write DEBUG/Snmp.txt" + kLoop + kTraceLost}, 1}));

TEST_F(CollectorServiceTest, AStartTellsOfADatabaseOthersCanReadAndLeavesItsMode) {
  ASSERT_EQ(::chmod(folder.Database().c_str(), 0644), 0);
  test::CapturedStderr err;
  ASSERT_TRUE(collector.StartUp(""));
  loop.WaitMs(10);
  const std::string warning = folder.Database() +
                              " holds a community or password and is open to group or others "
                              "(mode 0644); `vexa-arp set` or chmod 600 restricts it";
  EXPECT_EQ(err.Text(), "VexaArpSrv: warning: " + warning + "\n");
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{"1\tfrmVexaArpSrv_dartSvc_State\t" + warning,
                                      "3\tfrmVexaArpSrv_dartSvc_State\tService Started."}));
  struct stat st {};
  ASSERT_EQ(::stat(folder.Database().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0644u);
}

// The SNMPv3 user is made at the service start.
TEST(ServiceStartV3, TheUserIsMadeAtTheStartAndAnUnusableOneFailsItWithOneLine) {
  struct Case {
    const char* assignments;
    const char* log_line;  // after "1\tfrmVexaArpSrv_dartSvc_State\t"; empty: started
    const char* user;      // the manager's user after the start
  };
  const Case cases[] = {
      {"SnmpVersion = 3, V3User = 'ops', V3AuthProtocol = 'SHA-256', V3AuthPassword = "
       "'secret-one', V3PrivProtocol = 'AES', V3PrivPassword = 'secret-two'",
       "", "ops authPriv SHA-256/AES"},
      {"SnmpVersion = 2, V3User = '', V3AuthProtocol = 'SHA', V3AuthPassword = 'short'", "", ""},
      {"SnmpVersion = 3, V3User = 'ops', V3AuthProtocol = 'SHA', V3AuthPassword = 'short'",
       "The SNMPv3 user of Settings_General cannot be used: the SNMPv3 authentication password "
       "is shorter than 8 characters",
       ""},
      {"SnmpVersion = 3, V3User = '', V3AuthProtocol = 'none', V3PrivProtocol = 'none'",
       "The SNMPv3 user of Settings_General cannot be used: the SNMPv3 user name is empty", ""},
      {"SnmpVersion = 3, V3User = 'ops', V3AuthProtocol = 'none', V3PrivProtocol = 'AES', "
       "V3PrivPassword = 'secret-two'",
       "The SNMPv3 user of Settings_General cannot be used: SNMPv3 privacy needs an "
       "authentication protocol",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.assignments);
    test::ProgramFolder folder;
    folder.Sql(std::string("UPDATE Settings_General SET ") + c.assignments);
    SimulatedClock clock{FromLocal({2024, 3, 5, 10, 17, 0})};
    EventLoop loop{clock};
    std::unique_ptr<ServiceManager> services = MakeLocalServiceManager(folder.Scratch() + "/svc");
    NoNames resolver;
    CollectorService collector{{.loop = loop,
                                .services = *services,
                                .resolver = resolver,
                                .message_box = [](const std::string&, BoxIcon) {},
                                .executable_path = [&] { return folder.Collector(); },
                                .terminate = [](int) {}}};
    ASSERT_TRUE(collector.StartUp(""));
    loop.WaitMs(10);
    const std::vector<std::string> lines = test::SplitCrLfLines(ReadFile(folder.AppEvent()));
    ASSERT_EQ(lines.size(), 1u);
    const std::string expected = *c.log_line == '\0'
                                     ? "3\tfrmVexaArpSrv_dartSvc_State\tService Started."
                                     : std::string("1\tfrmVexaArpSrv_dartSvc_State\t") + c.log_line;
    EXPECT_EQ(lines[0].substr(20), expected);
    EXPECT_EQ(collector.Walker().Enabled(), *c.log_line == '\0') << "a failed start polls nothing";
    EXPECT_EQ(collector.SnmpManager().UsmUserDescription(), c.user);
  }
}

}  // namespace
}  // namespace vexa

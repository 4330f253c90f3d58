// The event log line format, its closing wait, what it tells when it cannot
// be written, and the daily clean-up of the SNMP traces.
#include "arp/event_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/files.h"
#include "platform/local_time.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using std::chrono::milliseconds;
using test::ReadFile;
using test::WriteFile;

class EventLogTest : public ::testing::Test {
 protected:
  EventLogTest() { ::mkdir((folder + "/Debug").c_str(), 0755); }
  std::string Debug(const std::string& name) const { return folder + "/Debug/" + name; }

  test::TempDir dir;
  std::string folder = dir.path();
  SimulatedClock clock{FromLocal({2024, 3, 5, 9, 7, 3})};
  EventLoop loop{clock};
  EventLog log{loop, folder};
};

TEST_F(EventLogTest, WritesFourTabSeparatedFieldsAndWaitsHalfASecond) {
  log.LogEvent("frmVexaArpSrv", "dartSvc_State", "Service Started.", kLevelInfo);
  EXPECT_EQ(ReadFile(Debug("AppEvent.txt")),
            "2024-03-05 09:07:03\t3\tfrmVexaArpSrv_dartSvc_State\tService Started.\r\n");
  EXPECT_EQ(clock.WaitedTotal(), milliseconds(500));
  log.LogEvent("modSnmpComm", "ClearArpTable", "disk I/O error", kLevelError);
  EXPECT_EQ(ReadFile(Debug("AppEvent.txt")),
            "2024-03-05 09:07:03\t3\tfrmVexaArpSrv_dartSvc_State\tService Started.\r\n"
            "2024-03-05 09:07:03\t1\tmodSnmpComm_ClearArpTable\tdisk I/O error\r\n");
}

TEST_F(EventLogTest, TextIsWrittenUnchanged) {
  log.LogEvent("m", "p", "a\tb\r\nc 'quoted' \"x\"", kLevelError);
  EXPECT_EQ(ReadFile(Debug("AppEvent.txt")),
            "2024-03-05 09:07:03\t1\tm_p\ta\tb\r\nc 'quoted' \"x\"\r\n");
}

TEST_F(EventLogTest, HandlersRunDuringTheClosingWaitAndMayLogThemselves) {
  loop.Post([&] { log.LogEvent("frmVexaArpSrv", "timer1", "inner", kLevelError); });
  log.LogEvent("frmVexaArpSrv", "dartSvc_State", "outer", kLevelInfo);
  const auto lines = test::SplitCrLfLines(ReadFile(Debug("AppEvent.txt")));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("outer"), std::string::npos);
  EXPECT_NE(lines[1].find("inner"), std::string::npos);
}

// A log that cannot be written skips the wait, and stderr tells the first
// line of each job that was lost; a link in the log's place is not followed.
TEST_F(EventLogTest, ALogThatCannotBeWrittenIsToldOnceAJobOnStderr) {
  const std::string victim = folder + "/victim";
  WriteFile(victim, "kept\n");
  for (const std::string cause :
       {"No such file or directory", "Too many levels of symbolic links"}) {
    if (cause[0] == 'N')
      ::rmdir((folder + "/Debug").c_str());
    else
      ::symlink(victim.c_str(), Debug("AppEvent.txt").c_str());
    test::CapturedStderr err;
    log.LogEvent("frmVexaArpSrv", "dartSvc_State", "Service Started.", kLevelInfo);
    log.LogEvent("modSnmpComm", "ClearArpTable", "second\r\nline", kLevelError);
    log.NewJob();
    log.LogEvent("modSnmpComm", "ClearArpTable", "next\r\njob", kLevelError);
    const std::string told = "VexaArpSrv: could not write the event log " + Debug("AppEvent.txt") +
                             ": " + cause +
                             "; its lines of this job are lost, the first: 2024-03-05 09:07:03\t";
    EXPECT_EQ(err.Text(), told + "3\tfrmVexaArpSrv_dartSvc_State\tService Started.\n" + told +
                              "1\tmodSnmpComm_ClearArpTable\tnext  job\n");
    EXPECT_EQ(ReadFile(victim), "kept\n");
    EXPECT_EQ(clock.WaitedTotal(), milliseconds(0));
    ::mkdir((folder + "/Debug").c_str(), 0755);
    log.NewJob();
  }
}

TEST_F(EventLogTest, ClearSnmpTracesRemovesOnlyNamesStartingWithSAnyCase) {
  for (const char* name : {"Snmp.txt", "Snmp-snmpNullValues.txt", "Snmp-snmpError.txt",
                           "Services.txt", "sOMETHING.TXT", "AppEvent.txt", "AppEvent2.txt",
                           "TimRes.txt", "ArpTable.txt", "Snmp.txt.old", "s.log"})
    WriteFile(Debug(name), "x");
  ::mkdir(Debug("sub.txt").c_str(), 0755);
  log.ClearSnmpTraces();
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(folder + "/Debug"))
    left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"AppEvent.txt", "AppEvent2.txt", "ArpTable.txt",
                                            "Snmp.txt.old", "TimRes.txt", "s.log", "sub.txt"}));
  // Nothing failed, so nothing was logged.
  EXPECT_EQ(ReadFile(Debug("AppEvent.txt")), "x");
}

TEST_F(EventLogTest, ClearSnmpTracesWithoutMatchesDoesNothing) {
  log.ClearSnmpTraces();
  EXPECT_TRUE(MatchFiles(folder + "/Debug", "*", false).empty());
  EXPECT_EQ(clock.WaitedTotal(), milliseconds(0));
}

}  // namespace
}  // namespace vexa

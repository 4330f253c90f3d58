// The collector's service life in one process on the simulated clock: the
// start sequence runs once, the stop sequence ends the process, and a stop
// time already past at the start exports at the first tick.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "collector_form.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;

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
  CollectorForm form{{.loop = loop,
                      .services = *services,
                      .resolver = resolver,
                      .message_box = [](const std::string&, BoxIcon) {},
                      .executable_path = [this] { return folder.Collector(); },
                      .terminate = [this](int status) { terminated.push_back(status); }}};
};

TEST_F(CollectorServiceTest, StartRunsOnceStopEndsTheProcess) {
  test::WriteFile(folder.File("Debug/Snmp.txt"), "old");
  folder.Sql("INSERT INTO ArpTable (IpAddr, SeenTimes) VALUES ('10.0.0.1', 4)");
  ASSERT_TRUE(form.Form_Load(""));
  EXPECT_TRUE(LogTexts().empty()) << "nothing happens before the start notification";
  loop.WaitMs(10);
  EXPECT_EQ(LogTexts(),
            (std::vector<std::string>{"3\tfrmVexaArpSrv_dartSvc_State\tService Started."}));
  EXPECT_EQ(form.DbConnectionString(), folder.Database());
  EXPECT_FALSE(FileExists(folder.File("Debug/Snmp.txt")));
  EXPECT_TRUE(form.SnmpManager().IsOpen());
  EXPECT_TRUE(form.Timer1().Enabled());
  EXPECT_TRUE(form.Timer2().Enabled());
  EXPECT_EQ(form.Timer1().LastHour, 10);
  EXPECT_TRUE(form.Timer1().FirstPollPending);
  EXPECT_EQ(form.ServiceStartTime(), (LocalDateTime{2024, 3, 5, 10, 17, 0}));

  // A second start in the same process does nothing at all.
  test::WriteFile(folder.File("Debug/Snmp.txt"), "kept");
  form.dartSvc().Notify(ServiceHost::kStart);
  EXPECT_EQ(LogTexts().size(), 1u);
  EXPECT_TRUE(FileExists(folder.File("Debug/Snmp.txt")));

  form.dartSvc().Notify(ServiceHost::kStop);
  EXPECT_FALSE(form.Timer1().Enabled());
  EXPECT_FALSE(form.Timer2().Enabled());
  EXPECT_EQ(LogTexts().back(), "3\tfrmVexaArpSrv_dartSvc_State\tService Stopped");
  EXPECT_EQ(terminated, (std::vector<int>{0}));
}

TEST_F(CollectorServiceTest, AStopTimePastAtTheStartExportsTheEmptiedStoreAtTheFirstTick) {
  folder.Sql("UPDATE Settings_General SET StopTime = '2024-03-01 08:00'");
  folder.Sql("INSERT INTO ArpTable (IpAddr, SeenTimes) VALUES ('10.0.0.1', 4)");
  ASSERT_TRUE(form.Form_Load(""));
  loop.WaitMs(10);
  EXPECT_FALSE(FileExists(folder.File("ArpList.txt")));
  loop.WaitMs(30000);
  EXPECT_EQ(ReadFile(folder.File("ArpList.txt")),
            "Start:\t2024-03-05 10:17\r\nStop:\t2024-03-01 08:00\r\n\r\n"
            "IpAddress\tMacAddress\tSeenTimes\tDnsName\r\n");
  EXPECT_FALSE(form.Timer1().Enabled());
  EXPECT_TRUE(form.Timer2().Enabled()) << "the service stays up, idle";
  EXPECT_TRUE(terminated.empty());
}

TEST_F(CollectorServiceTest, AnExportFileThatCannotBeDeletedStopsTheStart) {
  ::mkdir(folder.File("ArpList.txt").c_str(), 0755);
  test::WriteFile(folder.File("ArpList.txt/held"), "");  // a folder with content: unlink fails
  ASSERT_TRUE(form.Form_Load(""));
  loop.WaitMs(10);
  const auto texts = LogTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(
      texts[0].rfind(
          "1\tfrmVexaArpSrv_dartSvc_State\tCould not delete " + folder.File("ArpList.txt"), 0),
      0u)
      << texts[0];
  EXPECT_FALSE(form.Timer1().Enabled());
  EXPECT_FALSE(form.Timer2().Enabled());
  // Nor does a later start notification try again.
  std::filesystem::remove_all(folder.File("ArpList.txt"));
  form.dartSvc().Notify(ServiceHost::kStart);
  EXPECT_EQ(LogTexts().size(), 1u);
}

}  // namespace
}  // namespace vexa

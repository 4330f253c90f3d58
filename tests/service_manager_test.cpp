// Both service backends. The local one runs the real collector as the
// service; the systemd one talks to a stand-in systemctl that records its
// calls, since systemd does not run on the test machines.
#include "service/service_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/files.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;

TEST(LocalServiceManager, RunsTheRealCollectorThroughItsWholeLife) {
  test::ProgramFolder folder;
  auto services = MakeLocalServiceManager(folder.Scratch() + "/state/services");
  ServiceState state{};

  EXPECT_EQ(services->CheckInstalled(), kServiceNotInstalled);
  EXPECT_EQ(services->QueryState(state), kServiceNotInstalled);
  EXPECT_EQ(services->Start(), kServiceNotInstalled);
  EXPECT_EQ(services->Stop(), kServiceNotInstalled);
  EXPECT_EQ(services->Uninstall(), kServiceNotInstalled);

  ASSERT_EQ(services->Install(folder.Collector(), folder.path()), 0);
  EXPECT_EQ(services->Install(folder.Collector(), folder.path()), kServiceAlreadyInstalled);
  EXPECT_EQ(services->CheckInstalled(), 0);
  ASSERT_EQ(services->QueryState(state), 0);
  EXPECT_EQ(state, ServiceState::kStopped);
  EXPECT_EQ(services->Stop(), kServiceNotActive);

  ASSERT_EQ(services->Start(), 0);
  ASSERT_EQ(services->QueryState(state), 0);
  EXPECT_EQ(state, ServiceState::kRunning);
  EXPECT_EQ(services->Start(), kServiceAlreadyRunning);
  EXPECT_TRUE(test::WaitUntil(
      [&] { return ReadFile(folder.AppEvent()).find("Service Started.") != std::string::npos; },
      10s))
      << ReadFile(folder.AppEvent());
  const std::string pid_text = ReadFile(folder.Scratch() + "/state/services/vexa-arp.pid");
  const pid_t pid = std::atoi(pid_text.c_str());
  ASSERT_GT(pid, 0);

  ASSERT_EQ(services->Stop(), 0);
  EXPECT_NE(::kill(pid, 0) == 0 && FileExists("/proc/" + std::to_string(pid) + "/exe"), true)
      << "the collector is still running after the stop";
  ASSERT_EQ(services->QueryState(state), 0);
  EXPECT_EQ(state, ServiceState::kStopped);
  EXPECT_NE(
      ReadFile(folder.AppEvent()).find("\t3\tfrmVexaArpSrv_dartSvc_State\tService Stopped\r\n"),
      std::string::npos);

  ASSERT_EQ(services->Uninstall(), 0);
  EXPECT_EQ(services->CheckInstalled(), kServiceNotInstalled);
}

TEST(LocalServiceManager, UninstallStopsARunningService) {
  test::ProgramFolder folder;
  auto services = MakeLocalServiceManager(folder.Scratch() + "/svc");
  ASSERT_EQ(services->Install(folder.Collector(), folder.path()), 0);
  ASSERT_EQ(services->Start(), 0);
  const pid_t pid = std::atoi(ReadFile(folder.Scratch() + "/svc/vexa-arp.pid").c_str());
  ASSERT_EQ(services->Uninstall(), 0);
  EXPECT_TRUE(
      test::WaitUntil([&] { return !FileExists("/proc/" + std::to_string(pid) + "/exe"); }, 10s));
  EXPECT_EQ(services->CheckInstalled(), kServiceNotInstalled);
}

TEST(LocalServiceManager, MissingProgramOrUnusableStateDirectoryFailsTheInstall) {
  test::ProgramFolder folder;
  auto services = MakeLocalServiceManager(folder.Scratch() + "/svc");
  EXPECT_EQ(services->Install(folder.path() + "/NoSuchProgram", folder.path()), ENOENT);
  test::WriteFile(folder.Scratch() + "/plainfile", "");
  auto blocked = MakeLocalServiceManager(folder.Scratch() + "/plainfile/svc");
  EXPECT_EQ(blocked->Install(folder.Collector(), folder.path()), ENOTDIR);
}

TEST(LocalServiceManager, AStalePidOfAnotherProgramIsNotTheService) {
  test::ProgramFolder folder;
  auto services = MakeLocalServiceManager(folder.Scratch() + "/svc");
  ASSERT_EQ(services->Install(folder.Collector(), folder.path()), 0);
  // Our own pid: alive, but not the collector.
  test::WriteFile(folder.Scratch() + "/svc/vexa-arp.pid", std::to_string(::getpid()) + "\n");
  ServiceState state{};
  ASSERT_EQ(services->QueryState(state), 0);
  EXPECT_EQ(state, ServiceState::kStopped);
  EXPECT_EQ(services->Stop(), kServiceNotActive);
  test::WriteFile(folder.Scratch() + "/svc/vexa-arp.pid", "garbage");
  ASSERT_EQ(services->QueryState(state), 0);
  EXPECT_EQ(state, ServiceState::kStopped);
}

class SystemdServiceManagerTest : public ::testing::Test {
 protected:
  SystemdServiceManagerTest() {
    ::mkdir(bin.c_str(), 0755);
    ::mkdir(units.c_str(), 0755);
    test::WriteFile(bin + "/systemctl",
                    "#!/bin/sh\n"
                    "echo \"$*\" >> '" +
                        calls +
                        "'\n"
                        "if [ \"$1\" = show ]; then cat '" +
                        state +
                        "'; fi\n"
                        "exit $(cat '" +
                        status + "' 2>/dev/null || echo 0)\n");
    ::chmod((bin + "/systemctl").c_str(), 0755);
    test::WriteFile(state, "inactive\n");
    old_path = std::getenv("PATH");
    ::setenv("PATH", (bin + ":" + old_path).c_str(), 1);
  }
  ~SystemdServiceManagerTest() override { ::setenv("PATH", old_path.c_str(), 1); }

  std::string Calls() { return ReadFile(calls); }

  test::TempDir dir;
  std::string bin = dir.path() + "/bin";
  std::string units = dir.path() + "/units";
  std::string calls = dir.path() + "/calls";
  std::string state = dir.path() + "/state";
  std::string status = dir.path() + "/status";
  std::string old_path;
  std::unique_ptr<ServiceManager> services = MakeSystemdServiceManager(units);
};

TEST_F(SystemdServiceManagerTest, InstallWritesTheUnitAndReloads) {
  ASSERT_EQ(services->Install("/opt/vexa arp/VexaArpSrv", "/opt/vexa arp"), 0);
  EXPECT_EQ(ReadFile(units + "/vexa-arp.service"),
            "[Unit]\n"
            "Description=Vexa ARP\n"
            "After=network-online.target\n"
            "\n"
            "[Service]\n"
            "Type=simple\n"
            "ExecStart=\"/opt/vexa arp/VexaArpSrv\"\n"
            "WorkingDirectory=\"/opt/vexa arp\"\n"
            "KillSignal=SIGTERM\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n");
  EXPECT_EQ(Calls(), "daemon-reload\n");
  EXPECT_EQ(services->CheckInstalled(), 0);
  EXPECT_EQ(services->Install("/x", "/"), kServiceAlreadyInstalled);
}

TEST_F(SystemdServiceManagerTest, StateStartStopFollowActiveState) {
  EXPECT_EQ(services->Start(), kServiceNotInstalled);
  ASSERT_EQ(services->Install("/opt/VexaArpSrv", "/opt"), 0);
  ServiceState s{};
  const std::pair<const char*, ServiceState> states[] = {{"active", ServiceState::kRunning},
                                                         {"inactive", ServiceState::kStopped},
                                                         {"failed", ServiceState::kStopped},
                                                         {"activating", ServiceState::kOther},
                                                         {"deactivating", ServiceState::kOther}};
  for (const auto& [text, expected] : states) {
    test::WriteFile(state, std::string(text) + "\n");
    ASSERT_EQ(services->QueryState(s), 0);
    EXPECT_EQ(s, expected) << text;
  }
  test::WriteFile(calls, "");
  test::WriteFile(state, "inactive\n");
  EXPECT_EQ(services->Stop(), kServiceNotActive);
  EXPECT_EQ(services->Start(), 0);
  test::WriteFile(state, "active\n");
  EXPECT_EQ(services->Start(), kServiceAlreadyRunning);
  EXPECT_EQ(services->Stop(), 0);
  const std::string show = "show -p ActiveState --value vexa-arp.service\n";
  EXPECT_EQ(Calls(),
            show + show + "start vexa-arp.service\n" + show + show + "stop vexa-arp.service\n");
}

TEST_F(SystemdServiceManagerTest, FailingSystemctlIsAnErrorAndUninstallRemovesTheUnit) {
  ASSERT_EQ(services->Install("/opt/VexaArpSrv", "/opt"), 0);
  test::WriteFile(status, "1");
  EXPECT_EQ(services->Start(), kServiceControlFailed);
  test::WriteFile(status, "0");
  test::WriteFile(calls, "");
  EXPECT_EQ(services->Uninstall(), 0);
  EXPECT_FALSE(FileExists(units + "/vexa-arp.service"));
  EXPECT_EQ(Calls(), "stop --no-block vexa-arp.service\ndaemon-reload\n");
  EXPECT_EQ(services->Uninstall(), kServiceNotInstalled);
}

TEST(ServiceManagerSelection, EnvironmentPicksTheBackend) {
  test::TempDir dir;
  ::setenv("VEXAARP_SERVICE_MANAGER", "local", 1);
  ::setenv("VEXAARP_SERVICE_DIR", dir.path().c_str(), 1);
  test::ProgramFolder folder;
  ASSERT_EQ(MakeServiceManager()->Install(folder.Collector(), folder.path()), 0);
  EXPECT_TRUE(FileExists(dir.path() + "/vexa-arp.service"));
  ::unsetenv("VEXAARP_SERVICE_MANAGER");
  ::unsetenv("VEXAARP_SERVICE_DIR");
}

}  // namespace
}  // namespace vexa

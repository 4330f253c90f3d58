// Both service backends. The local one runs the real collector as the
// service; the systemd one writes its units for systemd-analyze verify and
// talks to a stand-in systemctl.
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

// The systemd backend against a stand-in systemctl that records its calls and
// answers what the test sets (states and failures a real systemd does not
// give on demand); every unit it writes goes through systemd-analyze verify.
// The whole life against a real systemd is in tests/systemd.
class SystemdServiceManagerTest : public ::testing::Test {
 protected:
  SystemdServiceManagerTest() {
    ::mkdir(bin.c_str(), 0755);
    ::mkdir(units.c_str(), 0755);
    test::WriteFile(bin + "/systemctl",
                    "#!/bin/sh\n"
                    "cd '" +
                        dir.path() +
                        "'\n"
                        "echo \"$*\" >> calls\n"
                        "case \"$*\" in\n"
                        "  *'-p ActiveState'*) cat state ;;\n"
                        "  *'-p Result'*) cat result 2>/dev/null || echo success ;;\n"
                        "esac\n"
                        "cat stderr >&2 2>/dev/null\n"
                        "exit $(cat status 2>/dev/null || echo 0)\n");
    ::chmod((bin + "/systemctl").c_str(), 0755);
    test::WriteFile(state, "inactive\n");
    old_path = std::getenv("PATH");
    ::setenv("PATH", (bin + ":" + old_path).c_str(), 1);
  }
  ~SystemdServiceManagerTest() override { ::setenv("PATH", old_path.c_str(), 1); }

  std::string Calls() { return ReadFile(calls); }
  std::string Unit() { return ReadFile(units + "/vexa-arp.service"); }

  // A folder holding an executable VexaArpSrv.
  std::string Folder(const std::string& parent, const std::string& name) {
    const std::string folder = parent + "/" + name;
    EXPECT_EQ(::mkdir(folder.c_str(), 0755), 0) << folder;
    test::WriteFile(folder + "/VexaArpSrv", "#!/bin/sh\n");
    ::chmod((folder + "/VexaArpSrv").c_str(), 0755);
    return folder;
  }

  test::TempDir dir;
  std::string bin = dir.path() + "/bin";
  std::string units = dir.path() + "/units";
  std::string calls = dir.path() + "/calls";
  std::string state = dir.path() + "/state";
  std::string old_path;
  std::unique_ptr<ServiceManager> services = MakeSystemdServiceManager(units);
};

// systemctl's line for `args`.
std::string Call(const std::string& args) {
  return "--no-ask-password " + args + "\n";
}

TEST_F(SystemdServiceManagerTest, EveryFolderNameGivesAUnitSystemdAccepts) {
  // Outside /tmp and the homes, the way a real installation lies.
  test::TempDir var_lib("/var/lib");
  const std::string names[] = {"vexa arp",    "a b%c$d",     "q\"uo'te",    "back\\slash",
                               "Grüße Ärger", "co:lon;semi", "50% ${HOME}", "two  blanks"};
  std::vector<std::string> folders;
  for (const auto& name : names) folders.push_back(Folder(var_lib.path(), name));
  folders.push_back(Folder(dir.path(), "in tmp"));
  for (const auto& folder : folders) {
    SCOPED_TRACE(folder);
    ASSERT_EQ(services->Install(folder + "/VexaArpSrv", folder), 0) << services->ErrorDetail();
    const test::RunResult verify =
        test::Run("/usr/bin/systemd-analyze", {"verify", units + "/vexa-arp.service"});
    EXPECT_EQ(verify.exit_status, 0);
    EXPECT_EQ(verify.out + verify.err, "") << Unit();
    ASSERT_EQ(services->Uninstall(), 0);
  }
  test::WriteFile(calls, "");
  ASSERT_EQ(::chown(folders[1].c_str(), 1, 1), 0);  // the service runs as the folder's owner
  ASSERT_EQ(services->Install(folders[1] + "/VexaArpSrv", folders[1]), 0);
  const std::string unit = Unit();
  // The user comes before any path that could carry its line on.
  EXPECT_LT(unit.find("User=1\nGroup=1\n"), unit.find("ExecStart=")) << unit;
  for (const std::string& line :
       {"ExecStart=\"" + folders[1].substr(0, folders[1].size() - 4) + "%%c$d/VexaArpSrv\"\n",
        "WorkingDirectory=" + var_lib.path() + "/a b%%c$d\n",
        "ReadWritePaths=\"" + var_lib.path() + "/a b%%c$d\"\n", std::string("Type=exec\n"),
        std::string("TimeoutStopSec=45\n"), std::string("PrivateTmp=yes\n"),
        std::string("Wants=network-online.target\nAfter=network-online.target\n"),
        std::string("UMask=0077\n"), std::string("LimitCORE=0\n")})
    EXPECT_NE(unit.find(line), std::string::npos) << line << unit;
  // Never started at boot: a start empties ArpTable.
  EXPECT_EQ(unit.find("[Install]"), std::string::npos) << unit;
  EXPECT_EQ(services->Install(folders[1] + "/VexaArpSrv", folders[1]), kServiceAlreadyInstalled);
  EXPECT_EQ(Calls(), Call("daemon-reload"));
}

TEST_F(SystemdServiceManagerTest, TheFolderOfTheMetricsFileIsWritable) {
  const test::ProgramFolder program("program", "/var/lib");
  const std::string folder = program.path();
  struct Case {
    const char* name;
    std::string metrics_file;
    std::string line;  // the extra ReadWritePaths= line; empty: none
  };
  const Case cases[] = {
      {"none", "", ""},
      {"in the program folder", folder + "/vexa.prom", ""},
      {"a textfile folder", "/var/lib/node exporter/vexa.prom",
       "ReadWritePaths=\"-/var/lib/node exporter\"\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    program.Sql("UPDATE Settings_General SET MetricsFile = '" + c.metrics_file + "'");
    ASSERT_EQ(services->Install(folder + "/VexaArpSrv", folder), 0) << services->ErrorDetail();
    const std::string unit = Unit();
    const size_t first = unit.find("ReadWritePaths=");
    EXPECT_EQ(unit.find("ReadWritePaths=", first + 1) != std::string::npos, !c.line.empty());
    if (!c.line.empty()) {
      EXPECT_NE(unit.find(c.line), std::string::npos) << unit;
    }
    const test::RunResult verify =
        test::Run("/usr/bin/systemd-analyze", {"verify", units + "/vexa-arp.service"});
    EXPECT_EQ(verify.out + verify.err, "") << unit;
    ASSERT_EQ(services->Uninstall(), 0);
  }
}

TEST_F(SystemdServiceManagerTest, FoldersSystemdCannotNameAreRefused) {
  const std::pair<std::string, std::string> refused[] = {
      {"relative/folder", "is not an absolute path"},
      {"/opt/vexa/../arp", "is not a normalized path"},
      {"/opt/vexa//arp", "is not a normalized path"},
      {"/opt/line\nbreak", "\"/opt/line\\nbreak\" contains a line break"},
      {"/opt/tab\tname", "\"/opt/tab\\x09name\" contains a line break or another control"},
      {"/opt/latin\xe9", "\"/opt/latin\\xe9\" is not valid UTF-8"},
      {"/opt/trailing ", "ends with a blank"},
      {"/srv/x\\", "\"/srv/x\\\" ends with a backslash"}};
  for (const auto& [folder, why] : refused) {
    EXPECT_EQ(services->Install(folder + "/VexaArpSrv", folder), EINVAL) << folder;
    EXPECT_NE(services->ErrorDetail().find(why), std::string::npos) << services->ErrorDetail();
  }
  EXPECT_FALSE(FileExists(units + "/vexa-arp.service"));
  EXPECT_EQ(Calls(), "");

  // The collector itself says why, in its failure message and in the event log.
  const std::string folder = Folder(dir.path(), "line\nbreak");
  ::mkdir((folder + "/Debug").c_str(), 0755);
  test::WriteFile(folder + "/VexaArpSrv", ReadFile(VEXA_COLLECTOR_BINARY));
  const std::string why = "The program folder \"" + dir.path() +
                          "/line\\nbreak\" contains a line break or another control character: "
                          "systemd cannot run a service from there";
  const test::RunResult r =
      test::Run(folder + "/VexaArpSrv", {"-install"},
                {{"VEXAARP_SERVICE_MANAGER", "systemd"}, {"VEXAARP_SYSTEMD_UNIT_DIR", units}});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err, "Vexa ARP Service Failed To Install\n" + why + "\n");
  EXPECT_NE(ReadFile(folder + "/Debug/AppEvent.txt")
                .find("\t1\tfrmVexaArpSrv_Form_Load\tCould not install the service \"Vexa ARP\": " +
                      why + "\r\n"),
            std::string::npos);
  EXPECT_FALSE(FileExists(units + "/vexa-arp.service"));
}

TEST_F(SystemdServiceManagerTest, StateStartStopFollowActiveState) {
  EXPECT_EQ(services->Start(), kServiceNotInstalled);
  const std::string folder = Folder(dir.path(), "f");
  ASSERT_EQ(services->Install(folder + "/VexaArpSrv", folder), 0);
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
  // A stop that systemd had to end by killing the collector is a time-out.
  test::WriteFile(dir.path() + "/result", "timeout\n");
  EXPECT_EQ(services->Stop(), kServiceStopTimedOut);
  const std::string show = Call("show -p ActiveState --value vexa-arp.service");
  const std::string result = Call("show -p Result --value vexa-arp.service");
  EXPECT_EQ(Calls(), show + show + Call("start vexa-arp.service") + show + show +
                         Call("stop vexa-arp.service") + result + show +
                         Call("stop vexa-arp.service") + result);
}

TEST_F(SystemdServiceManagerTest, FailuresOfSystemctlKeepTheirOwnCodes) {
  const std::string folder = Folder(dir.path(), "f");
  // A unit systemd could not be made to read is taken back.
  test::WriteFile(dir.path() + "/status", "1");
  EXPECT_EQ(services->Install(folder + "/VexaArpSrv", folder), kServiceControlFailed);
  EXPECT_FALSE(FileExists(units + "/vexa-arp.service"));
  test::WriteFile(dir.path() + "/status", "0");
  ASSERT_EQ(services->Install(folder + "/VexaArpSrv", folder), 0);

  const std::pair<const char*, int> failures[] = {
      {"Failed to start vexa-arp.service: Access denied\n", kServicePermissionDenied},
      {"Failed to start vexa-arp.service: Interactive authentication required.\n",
       kServicePermissionDenied},
      {"Job for vexa-arp.service failed because the control process exited with error code.\n",
       kServiceControlFailed},
      {"Failed to connect to bus: No such file or directory\n", kServiceControlFailed}};
  for (const auto& [message, code] : failures) {
    test::WriteFile(dir.path() + "/stderr", message);
    test::WriteFile(dir.path() + "/status", "1");
    EXPECT_EQ(services->Start(), code) << message;
  }
  test::WriteFile(dir.path() + "/status", "0");
  ::unlink((dir.path() + "/stderr").c_str());
  test::WriteFile(calls, "");
  EXPECT_EQ(services->Uninstall(), 0);
  EXPECT_EQ(Calls(), Call("stop --no-block vexa-arp.service") +
                         Call("disable --no-reload vexa-arp.service") + Call("daemon-reload") +
                         Call("reset-failed vexa-arp.service"));
  EXPECT_FALSE(FileExists(units + "/vexa-arp.service"));
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

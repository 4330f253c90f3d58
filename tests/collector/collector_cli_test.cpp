// The real collector binary: its command line, messages, exit statuses and
// event-log lines, and the start of its service life.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include "platform/files.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;
using test::RunResult;
using test::SplitCrLfLines;

class CollectorCommandLine : public ::testing::Test {
 protected:
  RunResult Collector(const std::vector<std::string>& args, const std::string& cwd = "/") {
    return test::Run(folder.Collector(), args, env, cwd);
  }
  std::vector<std::string> LogLines() { return SplitCrLfLines(ReadFile(folder.AppEvent())); }
  bool Installed() { return FileExists(service_dir + "/vexa-arp.service"); }

  test::ProgramFolder folder;
  std::string service_dir = folder.Scratch() + "/services";
  std::map<std::string, std::string> env{{"VEXAARP_SERVICE_MANAGER", "local"},
                                         {"VEXAARP_SERVICE_DIR", service_dir}};
};

// "YYYY-MM-DD HH:MM:SS<TAB>level<TAB>where<TAB>text"
void ExpectLogLine(const std::string& line, const std::string& level_where_text) {
  ASSERT_GE(line.size(), 20u) << line;
  EXPECT_EQ(line[4], '-');
  EXPECT_EQ(line[10], ' ');
  EXPECT_EQ(line[19], '\t');
  EXPECT_EQ(line.substr(20), level_where_text);
}

TEST_F(CollectorCommandLine, InstallNoMsgRegistersQuietlyAndLogs) {
  const RunResult r = Collector({"-install_noMsg"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Installed());
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  ExpectLogLine(lines[0], "3\tfrmVexaArpSrv_Form_Load\tService Installed");
  EXPECT_NE(ReadFile(service_dir + "/vexa-arp.service").find("WorkingDirectory=" + folder.path()),
            std::string::npos);
}

TEST_F(CollectorCommandLine, EveryInstallSpellingThatStartsWithTheOptionShowsTheBox) {
  for (const std::string arg : {"-install", "-install ", "-installX"}) {
    ::unlink((service_dir + "/vexa-arp.service").c_str());
    const RunResult r = Collector({arg}, "/tmp");
    EXPECT_EQ(r.exit_status, 0) << "'" << arg << "'";
    EXPECT_EQ(r.out, "Vexa ARP Service Installed Successfully\n") << "'" << arg << "'";
    EXPECT_TRUE(Installed()) << "'" << arg << "'";
  }
  // Lines land in the program folder although the current folder was /tmp.
  EXPECT_EQ(LogLines().size(), 3u);
}

TEST_F(CollectorCommandLine, UninstallNeedsTheExactOption) {
  ASSERT_EQ(Collector({"-install_noMsg"}).exit_status, 0);
  for (const std::string arg : {"-uninstall ", "-Uninstall", "/uninstall"}) {
    const RunResult r = Collector({arg});
    EXPECT_EQ(r.exit_status, 2) << arg;
    EXPECT_EQ(r.out, "Invalid command option\n") << arg;
    EXPECT_TRUE(Installed());
  }
  const RunResult r = Collector({"-uninstall"});
  EXPECT_EQ(r.exit_status, 0);
  EXPECT_EQ(r.out, "Vexa ARP Service Uninstalled Successfully\n");
  EXPECT_FALSE(Installed());
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 2u);
  ExpectLogLine(lines[1], "3\tfrmVexaArpSrv_Form_Load\tService Uninstalled");
}

TEST_F(CollectorCommandLine, UnknownOptionsAreRefusedWithoutSideEffects) {
  for (const std::string arg : {"-Install", " -install", "/install", "-instal", "install", "-"}) {
    const RunResult r = Collector({arg});
    EXPECT_EQ(r.exit_status, 2) << "'" << arg << "'";
    EXPECT_EQ(r.out, "Invalid command option\n") << "'" << arg << "'";
    EXPECT_EQ(r.err, "");
  }
  // Two arguments are one command line "-x -install": no option.
  EXPECT_EQ(Collector({"-x", "-install"}).exit_status, 2);
  EXPECT_FALSE(Installed());
  EXPECT_FALSE(FileExists(folder.AppEvent()));
}

TEST_F(CollectorCommandLine, FailedInstallGivesTheFailureBoxWithItsCauseAndOneErrorLine) {
  test::WriteFile(folder.Scratch() + "/not-a-dir", "");
  const std::string unusable = folder.Scratch() + "/not-a-dir/services";
  const std::string others_can_write =
      " can be written by group or others (mode 0757): they could change what the service runs "
      "or where it writes. Take that right away (chmod go-w) and install again";
  const struct {
    std::string path;  // made writable by others for the case, or ""
    mode_t mode;
    std::string cause;
  } cases[] = {
      {"", 0, "The service cannot be registered in \"" + unusable + "\": Not a directory"},
      {folder.path(), 0757, "The program folder \"" + folder.path() + "\"" + others_can_write},
      {folder.File("Debug"), 0757,
       "The folder \"" + folder.File("Debug") + "\"" + others_can_write},
      {folder.Collector(), 0757, "The program \"" + folder.Collector() + "\"" + others_can_write},
  };
  for (const auto& c : cases) {
    env["VEXAARP_SERVICE_DIR"] = c.path.empty() ? unusable : service_dir;
    struct stat before {};
    if (!c.path.empty()) {
      ASSERT_EQ(::stat(c.path.c_str(), &before), 0);
      ASSERT_EQ(::chmod(c.path.c_str(), c.mode), 0);
    }
    const RunResult r = Collector({"-install"});
    if (!c.path.empty()) ::chmod(c.path.c_str(), before.st_mode & 07777);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Vexa ARP Service Failed To Install\n" + c.cause + "\n");
    EXPECT_FALSE(Installed());
    ExpectLogLine(
        LogLines().back(),
        "1\tfrmVexaArpSrv_Form_Load\tCould not install the service \"Vexa ARP\": " + c.cause);
  }
  EXPECT_EQ(LogLines().size(), std::size(cases));
}

TEST_F(CollectorCommandLine, UninstallingWhatIsNotInstalledFails) {
  const RunResult r = Collector({"-uninstall"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_EQ(r.err, "Vexa ARP Service Failed To Uninstall\n");
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  ExpectLogLine(lines[0],
                "1\tfrmVexaArpSrv_Form_Load\tCould not uninstall the service \"Vexa ARP\": The "
                "service \"Vexa ARP\" is not installed");
}

// Starts the collector with an empty command line, as the service manager
// does; through `runner` (a program and its arguments) when one is given.
pid_t StartServiceProcess(const test::ProgramFolder& folder, std::vector<std::string> runner = {}) {
  runner.push_back(folder.Collector());
  std::vector<char*> argv;
  for (std::string& arg : runner) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

// Every readable mapping of the process `pid` of up to 64 MiB, one after the other.
std::string ProcessMemory(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  const int mem = ::open((proc + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
  if (mem < 0) return {};
  std::string memory;
  std::istringstream maps(ReadFile(proc + "/maps"));
  std::string line;
  while (std::getline(maps, line)) {
    unsigned long begin = 0, end = 0;
    char perms[5] = {};
    if (std::sscanf(line.c_str(), "%lx-%lx %4s", &begin, &end, perms) != 3 || perms[0] != 'r' ||
        end - begin > (64ul << 20))
      continue;
    std::string region(end - begin, '\0');
    const ssize_t n = ::pread(mem, region.data(), region.size(), static_cast<off_t>(begin));
    if (n > 0) memory.append(region, 0, static_cast<size_t>(n));
  }
  ::close(mem);
  return memory;
}

int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
  int status = 0;
  if (!test::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, limit)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(CollectorCommandLine, ARunningInstanceBlocksEveryCommandLine) {
  const pid_t service = StartServiceProcess(folder);
  ASSERT_TRUE(test::WaitUntil(
      [&] { return ReadFile(folder.AppEvent()).find("Service Started.") != std::string::npos; },
      10s));
  const size_t lines_before = LogLines().size();
  for (const std::string arg : {"-install_noMsg", "-install", "-uninstall", "", "-bogus"}) {
    const RunResult r = Collector({arg});
    EXPECT_EQ(r.exit_status, 1) << arg;
    EXPECT_EQ(r.err, "The Vexa ARP Service is already running\n") << arg;
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(Installed());
  EXPECT_EQ(LogLines().size(), lines_before);
  ::kill(service, SIGTERM);
  EXPECT_EQ(WaitForExit(service, 10s), 0);
}

TEST_F(CollectorCommandLine, ServiceLifeStartsOnceAndStopEndsTheProcess) {
  test::WriteFile(folder.File("Debug/Snmp.txt"), "old trace");
  test::WriteFile(folder.File("ArpList.txt"), "old export");
  const pid_t service = StartServiceProcess(folder);
  ASSERT_TRUE(test::WaitUntil(
      [&] { return ReadFile(folder.AppEvent()).find("Service Started.") != std::string::npos; },
      10s));
  EXPECT_FALSE(FileExists(folder.File("Debug/Snmp.txt")));
  EXPECT_FALSE(FileExists(folder.File("ArpList.txt")));
  ::kill(service, SIGUSR1);
  ::kill(service, SIGUSR2);
  ASSERT_TRUE(test::WaitUntil([&] { return LogLines().size() == 3; }, 10s));
  ::kill(service, SIGTERM);
  EXPECT_EQ(WaitForExit(service, 10s), 0);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  ExpectLogLine(lines[0], "3\tfrmVexaArpSrv_dartSvc_State\tService Started.");
  ExpectLogLine(lines[1], "3\tfrmVexaArpSrv_dartSvc_State\tPause Not Implemented");
  ExpectLogLine(lines[2], "3\tfrmVexaArpSrv_dartSvc_State\tResume Not Implemented");
  ExpectLogLine(lines[3], "3\tfrmVexaArpSrv_dartSvc_State\tService Stopped");
}

// Run as a user other than root, as systemd runs it for a folder of that
// user's: once the SNMPv3 keys are made no password is left in its memory,
// and that memory is closed to the user (no core file, no ptrace).
TEST_F(CollectorCommandLine, TheServiceKeepsNoPasswordAndItsMemoryFromItsUser) {
  const std::string tag = std::to_string(::getpid()) + "-Qz7";
  const std::string user = "ops-" + tag, auth = "auth-pass-" + tag, priv = "priv-pass-" + tag;
  folder.Sql("UPDATE Settings_General SET SnmpVersion = 3, V3User = '" + user +
             "', V3AuthProtocol = 'SHA-256', V3AuthPassword = '" + auth +
             "', V3PrivProtocol = 'AES', V3PrivPassword = '" + priv + "'");
  ASSERT_EQ(::chmod(folder.Scratch().c_str(), 0755), 0);
  ASSERT_EQ(test::Run("/bin/chown", {"-R", "nobody:nogroup", folder.path()}).exit_status, 0);
  const pid_t service = StartServiceProcess(
      folder, {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
  ASSERT_TRUE(test::WaitUntil(
      [&] { return ReadFile(folder.AppEvent()).find("Service Started.") != std::string::npos; },
      10s))
      << ReadFile(folder.AppEvent());

  const std::string memory = ProcessMemory(service);
  EXPECT_NE(memory.find(user), std::string::npos) << "the memory was not read";
  EXPECT_EQ(memory.find(auth), std::string::npos);
  EXPECT_EQ(memory.find(priv), std::string::npos);
  // Its /proc files belong to root, though it runs as nobody.
  EXPECT_NE(ReadFile("/proc/" + std::to_string(service) + "/status").find("\nUid:\t65534\t"),
            std::string::npos);
  struct stat mem {};
  ASSERT_EQ(::stat(("/proc/" + std::to_string(service) + "/mem").c_str(), &mem), 0);
  EXPECT_EQ(mem.st_uid, 0u);
  ::kill(service, SIGTERM);
  WaitForExit(service, 10s);
}

TEST_F(CollectorCommandLine, StartWithBrokenSettingsLogsTheCauseAndKeepsRunningIdle) {
  folder.Sql("UPDATE Settings_General SET RouterList = NULL");
  const pid_t service = StartServiceProcess(folder);
  ASSERT_TRUE(test::WaitUntil([&] { return !LogLines().empty(); }, 10s));
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  ExpectLogLine(lines[0],
                "1\tfrmVexaArpSrv_dartSvc_State\tThe field RouterList of Settings_General holds "
                "no value (NULL)");
  EXPECT_EQ(::waitpid(service, nullptr, WNOHANG), 0) << "the process should stay up";
  ::kill(service, SIGTERM);
  EXPECT_EQ(WaitForExit(service, 10s), 0);
}

}  // namespace
}  // namespace vexa

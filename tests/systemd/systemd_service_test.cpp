// The service "Vexa ARP" on a real systemd (tests/systemd/systemd-harness.sh
// boots it; this program runs inside): the real collector installs itself,
// vexa-arp and the service layer start, query and stop it, and the
// hardened unit still lets it poll a simulated router, resolve names through
// the system's resolver files and write its Debug files and ArpList.txt.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <iostream>
#include <map>

#include "arp/mac_format.h"
#include "harness_support.h"
#include "platform/files.h"
#include "service/service_manager.h"
#include "support/dns_server.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;
using test::ReadFile;

constexpr const char* kFakeTime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
constexpr const char* kUnitFile = "/etc/systemd/system/vexa-arp.service";

test::RunResult VexaService(const test::ProgramFolder& folder, const std::string& command) {
  return test::Run(VEXA_CLI_PROGRAM, {"--folder", folder.path(), "service", command});
}

// "running", "stopped", "other" or "not installed", from the lines of
// "vexa-arp service status".
std::string StateOf(const test::RunResult& status) {
  if (status.out.find("Installed\tno\n") != std::string::npos) return "not installed";
  const size_t at = status.out.find("State\t");
  if (at == std::string::npos) return "unreadable: " + status.out + status.err;
  return status.out.substr(at + 6, status.out.find('\n', at) - at - 6);
}

bool LogHas(const test::ProgramFolder& folder, const std::string& text, std::chrono::seconds wait) {
  return test::WaitUntil(
      [&] { return ReadFile(folder.AppEvent()).find(text) != std::string::npos; }, wait);
}

// Test-only settings of the service: a drop-in of the test's own, never the
// unit the service layer writes.
void DropIn(const std::string& text) {
  const std::string dir = "/run/systemd/system/vexa-arp.service.d";
  ASSERT_EQ(MakeDirectories(dir), 0);
  test::WriteFile(dir + "/test.conf", "[Service]\n" + text);
}

class SystemdService : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string why = test::WhyNotInHarness();
    if (!why.empty()) FAIL() << why;
  }
};

TEST_F(SystemdService, WholeLifeWithTheRealCollectorInTheHardenedUnit) {
  ASSERT_TRUE(FileExists(kFakeTime)) << "libfaketime is needed";
  test::ProgramFolder folder("Vexa ARP 100%$x");

  // One router; the names come from a DNS server named in /etc/resolv.conf
  // and from /etc/hosts, as on a server.
  auto table = test::MakeArpTable(24);
  table.push_back({.if_index = 2, .ip = "127.0.8.77", .mac = std::string("\x02\0\0\0\0\x77", 6)});
  test::SimulatedAgent router({.address = "127.0.8.2"}, table);
  std::map<std::string, std::string> names;
  for (size_t i = 0; i < table.size(); i += 4)
    names[table[i].ip] = "host" + std::to_string(i) + ".lan";
  names.erase("127.0.8.77");
  test::DnsmasqOptions dns_options;
  dns_options.listen_address = "127.0.8.3";
  dns_options.port = 53;
  dns_options.local_zones = {"10.in-addr.arpa", "127.in-addr.arpa"};
  test::DnsmasqServer dns(names, dns_options);
  test::ReplaceSystemFile("/etc/resolv.conf", "nameserver 127.0.8.3\n");
  test::ReplaceSystemFile("/etc/hosts", "127.0.0.1 localhost\n127.0.8.77 from-hosts.test\n");
  folder.Sql(
      "UPDATE Settings_General SET RouterList = '127.0.8.2', DebugMode = 1, DnsCheck = 1, "
      "StopTime = '2024-03-05 11:00'");
  // The clock starts 20 s before a full hour: a poll at 11:00, the export after 11:00:59.
  DropIn("Environment=LD_PRELOAD=" + std::string(kFakeTime) +
         " \"FAKETIME=@2024-03-05 10:59:40\" FAKETIME_DONT_FAKE_MONOTONIC=1\n");

  // Install: the unit systemd reads back names exactly this folder.
  const test::RunResult install = test::Run(folder.Collector(), {"-install"});
  ASSERT_EQ(install.exit_status, 0) << install.err << ReadFile(folder.AppEvent());
  EXPECT_EQ(install.out, "Vexa ARP Service Installed Successfully\n");
  const test::RunResult verify = test::Run("/usr/bin/systemd-analyze", {"verify", kUnitFile});
  EXPECT_EQ(verify.exit_status, 0);
  EXPECT_EQ(verify.out + verify.err, "") << ReadFile(kUnitFile);
  EXPECT_EQ(
      test::SystemctlOutput({"show", "-p", "WorkingDirectory", "--value", "vexa-arp.service"}),
      folder.path());
  EXPECT_NE(test::SystemctlOutput({"show", "-p", "ExecStart", "--value", "vexa-arp.service"})
                .find("path=" + folder.Collector() + " ;"),
            std::string::npos);
  std::string report;
  const double exposure = test::SecurityExposure("vexa-arp.service", report);
  std::cout << report;
  EXPECT_GE(exposure, 0.0) << report;
  EXPECT_LE(exposure, 2.0) << report;
  EXPECT_EQ(StateOf(VexaService(folder, "status")), "stopped");

  // Start; a second start and a caller without the right fail, each in its own way.
  const std::string tool = test::CopyForEveryone(VEXA_CLI_PROGRAM);
  ASSERT_EQ(VexaService(folder, "start").exit_status, 0);
  EXPECT_EQ(StateOf(VexaService(folder, "status")), "running");
  EXPECT_EQ(test::SystemctlOutput({"is-active", "vexa-arp.service"}), "active");
  auto services = MakeServiceManager();
  EXPECT_EQ(services->Start(), kServiceAlreadyRunning);
  EXPECT_NE(VexaService(folder, "start").err.find("(error " + std::to_string(kServiceAlreadyRunning) + ")"), std::string::npos);
  EXPECT_EQ(StateOf(test::RunAsNobody(tool, {"--folder", folder.path(), "service", "status"})),
            "running");
  const test::RunResult denied_stop =
      test::RunAsNobody(tool, {"--folder", folder.path(), "service", "stop"});
  EXPECT_EQ(denied_stop.exit_status, 1);
  EXPECT_NE(denied_stop.err.find("(error " + std::to_string(kServicePermissionDenied) + ")"), std::string::npos) << denied_stop.err;

  // Poll, names and the export, all under the sandbox.
  const bool exported = test::WaitUntil(
      [&] { return ReadFile(folder.File("ArpList.txt")).find("IpAddress") != std::string::npos; },
      240s);
  ASSERT_TRUE(exported) << ReadFile(folder.AppEvent());
  EXPECT_EQ(StateOf(VexaService(folder, "status")), "running")
      << "the service stays up after the export";

  ASSERT_EQ(VexaService(folder, "stop").exit_status, 0);
  EXPECT_TRUE(LogHas(folder, "\t3\tfrmVexaArpSrv_dartSvc_State\tService Stopped\r\n", 5s));
  EXPECT_EQ(test::SystemctlOutput({"is-active", "vexa-arp.service"}), "inactive");
  EXPECT_EQ(services->Stop(), kServiceNotActive);
  EXPECT_NE(VexaService(folder, "stop").err.find("(error " + std::to_string(kServiceNotActive) + ")"), std::string::npos);
  const test::RunResult denied_start =
      test::RunAsNobody(tool, {"--folder", folder.path(), "service", "start"});
  EXPECT_NE(denied_start.err.find("(error " + std::to_string(kServicePermissionDenied) + ")"), std::string::npos) << denied_start.err;
  EXPECT_EQ(StateOf(VexaService(folder, "status")), "stopped");

  // Each address once, with the MAC address first walked.
  std::map<std::string, std::string> mac_of;
  for (const auto& row : test::InWalkOrder(table)) mac_of.emplace(row.ip, FormatMac(row.mac));
  std::map<std::string, std::string> listed;  // address -> the rest of its line
  for (const auto& line : test::SplitCrLfLines(ReadFile(folder.File("ArpList.txt"))))
    if (const auto tab = line.find('\t'); tab != std::string::npos)
      listed[line.substr(0, tab)] = line.substr(tab + 1);
  EXPECT_EQ(listed.size(), mac_of.size() + 3);  // with "Start:", "Stop:" and the header
  for (const auto& [ip, mac] : mac_of) {
    const auto n = names.find(ip);
    const std::string name = ip == "127.0.8.77" ? "from-hosts.test"
                             : n != names.end() ? n->second
                                                : "n/a";
    EXPECT_EQ(listed[ip], mac + "\t1\t" + name) << ip;
  }
  EXPECT_NE(ReadFile(folder.File("Debug/ArpTable.txt")).find("127.0.8.2"), std::string::npos);
  EXPECT_NE(ReadFile(folder.File("Debug/Snmp.txt")), "");
  EXPECT_EQ(ReadFile(folder.AppEvent()).find("\t1\t"), std::string::npos)
      << ReadFile(folder.AppEvent());

  // Uninstall; then it is gone, and a second uninstall says so.
  const test::RunResult uninstall = test::Run(folder.Collector(), {"-uninstall"});
  EXPECT_EQ(uninstall.exit_status, 0) << uninstall.err;
  EXPECT_FALSE(FileExists(kUnitFile));
  const test::RunResult status = VexaService(folder, "status");
  EXPECT_EQ(status.exit_status, 0);
  EXPECT_EQ(StateOf(status), "not installed");
  EXPECT_EQ(services->Uninstall(), kServiceNotInstalled);
  EXPECT_EQ(test::SystemctlOutput({"show", "-p", "LoadState", "--value", "vexa-arp.service"}),
            "not-found");
}

// A folder in a home directory, with quotes, a backslash, a colon and letters beyond
// ASCII in its name, owned by a user other than root: the service runs as
// that user, sees its folder through the hidden homes, and logs there, in
// files of its own. A name ending in a backslash, which would join the next
// line of the unit to it, is refused.
TEST_F(SystemdService, AFolderInAHomeWithAnOddNameRunsAsItsOwner) {
  // An empty tmpfs over whichever of /home and /root does not hold this test.
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string home = self.starts_with("/home/") ? "/root" : "/home";
  ASSERT_EQ(test::Run("/bin/mount", {"-t", "tmpfs", "-o", "mode=755", "tmpfs", home}).exit_status,
            0);
  test::ProgramFolder folder("Grüße \"q\" 'x' back\\slash 100%$HOME a:b", home);
  ::chmod(folder.Scratch().c_str(), 0755);
  const std::string owner = "daemon";
  ASSERT_EQ(test::Run("/bin/chown", {"-R", owner + ":", folder.path()}).exit_status, 0);

  test::ProgramFolder trailing("x\\", home);
  ASSERT_EQ(test::Run("/bin/chown", {"-R", owner + ":", trailing.path()}).exit_status, 0);
  const test::RunResult refused = test::Run(trailing.Collector(), {"-install"});
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_EQ(refused.err, "Vexa ARP Service Failed To Install\nThe program folder \"" +
                             trailing.path() +
                             "\" ends with a backslash: systemd cannot run a service from there\n");
  EXPECT_FALSE(FileExists(kUnitFile));

  const test::RunResult install = test::Run(folder.Collector(), {"-install"});
  ASSERT_EQ(install.exit_status, 0) << install.err;
  const test::RunResult verify = test::Run("/usr/bin/systemd-analyze", {"verify", kUnitFile});
  EXPECT_EQ(verify.out + verify.err, "") << ReadFile(kUnitFile);
  EXPECT_EQ(
      test::SystemctlOutput({"show", "-p", "WorkingDirectory", "--value", "vexa-arp.service"}),
      folder.path());
  EXPECT_EQ(test::SystemctlOutput({"show", "-p", "User", "--value", "vexa-arp.service"}), "1");

  ASSERT_EQ(VexaService(folder, "start").exit_status, 0);
  EXPECT_TRUE(LogHas(folder, "Service Started.", 20s)) << ReadFile(folder.AppEvent());
  struct stat log {};
  ASSERT_EQ(::stat(folder.AppEvent().c_str(), &log), 0);
  EXPECT_EQ(log.st_uid, 1u) << "the collector writes as the folder's owner";
  EXPECT_EQ(log.st_mode & 0777, 0600u) << "and for that owner only";
  EXPECT_EQ(test::SystemctlOutput({"show", "-p", "LimitCORE", "--value", "vexa-arp.service"}), "0");
  ASSERT_EQ(VexaService(folder, "stop").exit_status, 0);
  EXPECT_TRUE(LogHas(folder, "Service Stopped", 5s));
  EXPECT_EQ(test::Run(folder.Collector(), {"-uninstall"}).exit_status, 0);
  test::Run("/bin/umount", {"--lazy", home});
}

}  // namespace
}  // namespace vexa

// The whole job with the real binaries: a program folder, two simulated
// routers and the machine's own snmpd, a DNS server, the collector installed
// and started as the service through the local service manager, one poll at
// the next full hour and the export at the stop time. The collector's clock
// starts just before a full hour (libfaketime) and then runs at normal speed.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "arp/mac_format.h"
#include "collector_service.h"
#include "db/sqlite.h"
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

// Environment for the service process, set while the manager starts it.
class ScopedEnv {
 public:
  explicit ScopedEnv(std::map<std::string, std::string> vars) : vars_(std::move(vars)) {
    for (const auto& [k, v] : vars_) ::setenv(k.c_str(), v.c_str(), 1);
  }
  ~ScopedEnv() {
    for (const auto& [k, v] : vars_) ::unsetenv(k.c_str());
  }

 private:
  std::map<std::string, std::string> vars_;
};

// The net addresses an agent serves, as snmpbulkwalk sees them.
std::vector<std::string> AddressesServedBy(const std::string& agent) {
  const test::RunResult r =
      test::Run("/usr/bin/snmpbulkwalk",
                {"-v2c", "-c", "public", "-On", "-Oqv", agent, "1.3.6.1.2.1.4.22.1.3"},
                {{"SNMP_PERSISTENT_DIR", "/tmp"}, {"SNMPCONFPATH", "/nonexistent"}});
  std::vector<std::string> out;
  std::istringstream in(r.out);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty() && line.find("No Such") == std::string::npos) out.push_back(line);
  return out;
}

TEST(EndToEnd, OnePollAndTheExportThroughTheInstalledService) {
  if (!FileExists(kFakeTime)) GTEST_SKIP() << "libfaketime is not installed";
  test::ProgramFolder folder;
  const auto first = test::MakeArpTable(40);
  const auto second = [] {
    auto rows = test::MakeArpTable(30);  // the same first 29 addresses, other MACs
    for (auto& row : rows) row.mac[5] = static_cast<char>(row.mac[5] ^ 0x55);
    return rows;
  }();
  test::SimulatedAgent router1({.address = "127.0.5.2"}, first);
  test::SimulatedAgent router2({.address = "127.0.5.3"}, second);
  test::SnmpdAgent own({.address = "127.0.5.4"});
  const std::vector<std::string> own_addresses = AddressesServedBy("127.0.5.4");

  std::map<std::string, std::string> names;
  for (size_t i = 0; i < first.size(); i += 3)
    names[first[i].ip] = "host" + std::to_string(i) + ".lan";
  // Only "ERROR" in capitals marks a failed lookup; dnsmasq folds names to
  // lower case, so the capitals case is covered where the resolver is scripted.
  names[first[1].ip] = "error.lan";
  test::DnsmasqOptions dns_options;
  dns_options.listen_address = "127.0.5.5";
  dns_options.local_zones = {"10.in-addr.arpa"};
  test::DnsmasqServer dns(names, dns_options);

  folder.Sql(
      "UPDATE Settings_General SET RouterList = '127.0.5.2' || char(13, 10) || "
      "'127.0.5.3' || char(13, 10) || '127.0.5.4', DebugMode = 1, "
      "StopTime = '2024-03-05 11:00', CheckInterval = 300");

  const std::string state = folder.Scratch() + "/services";
  const std::map<std::string, std::string> cli_env{{"VEXAARP_SERVICE_MANAGER", "local"},
                                                   {"VEXAARP_SERVICE_DIR", state}};
  ASSERT_EQ(test::Run(folder.Collector(), {"-install_noMsg"}, cli_env).exit_status, 0);
  auto services = MakeLocalServiceManager(state);
  {
    const char* asan = std::getenv("ASAN_OPTIONS");
    ScopedEnv env({{"LD_PRELOAD", kFakeTime},
                   {"FAKETIME", "@2024-03-05 10:59:40"},
                   {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                   {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"},
                   {"VEXAARP_DNS_SERVERS", dns.ServerSpec()}});
    ASSERT_EQ(services->Start(), 0);
  }
  // Start 10:59:40, first tick of 11:00 polls, the first tick after 11:00:59 exports.
  const bool exported = test::WaitUntil(
      [&] {
        return ReadFile(folder.File("ArpList.txt")).find("IpAddress") != std::string::npos &&
               ReadFile(folder.AppEvent()).find("Service Stopped") == std::string::npos;
      },
      240s);
  ServiceState s{};
  EXPECT_EQ(services->QueryState(s), 0);
  EXPECT_EQ(s, ServiceState::kRunning) << "the service keeps running after the export";
  EXPECT_EQ(services->Stop(), 0);
  EXPECT_EQ(test::Run(folder.Collector(), {"-uninstall"}, cli_env).exit_status, 0);
  ASSERT_TRUE(exported) << ReadFile(folder.AppEvent());

  // What the agents serve, merged: first router first, each address once.
  std::vector<std::string> order;
  std::map<std::string, std::string> mac_of;
  for (const auto* table : {&first, &second})
    for (const auto& row : test::InWalkOrder(*table))
      if (mac_of.emplace(row.ip, FormatMac(row.mac)).second) order.push_back(row.ip);

  const std::string list = ReadFile(folder.File("ArpList.txt"));
  std::string expected =
      "Start:\t2024-03-05 10:59\r\nStop:\t2024-03-05 11:00\r\n\r\n"
      "IpAddress\tMacAddress\tSeenTimes\tDnsName\r\n";
  for (const auto& ip : order) {
    const auto n = names.find(ip);
    const std::string name =
        n == names.end() || n->second.find("ERROR") != std::string::npos ? "n/a" : n->second;
    expected += ip + "\t" + mac_of[ip] + "\t1\t" + name + "\r\n";
  }
  ASSERT_EQ(list.substr(0, expected.size()), expected);
  // Then whatever this machine's own ARP table held, each address once.
  std::set<std::string> rest;
  for (const auto& line : test::SplitCrLfLines(list.substr(expected.size())))
    rest.insert(line.substr(0, line.find('\t')));
  for (const auto& ip : own_addresses) {
    if (!mac_of.count(ip)) {
      EXPECT_TRUE(rest.count(ip)) << ip;
    }
  }

  Database db = Database::Open(folder.Database());
  Statement st = db.Prepare("SELECT count(*), sum(SeenTimes) FROM ArpTable");
  ASSERT_TRUE(st.Step());
  EXPECT_EQ(st.ColumnInt64(0), st.ColumnInt64(1));

  const std::string log = ReadFile(folder.AppEvent());
  EXPECT_EQ(log.find("\t1\t"), std::string::npos) << log;
  EXPECT_NE(log.find("Service Started."), std::string::npos);
  EXPECT_NE(ReadFile(folder.File("Debug/ArpTable.txt")).find("Router:\t127.0.5.3"),
            std::string::npos);
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST(EndToEnd, AStopDuringAWalkEndsTheProcessWithoutWaitingForIt) {
  if (!FileExists(kFakeTime)) GTEST_SKIP() << "libfaketime is not installed";
  test::ProgramFolder folder;
  test::SimulatedAgent router({.address = "127.0.5.12"}, test::MakeArpTable(20000));
  folder.Sql("UPDATE Settings_General SET RouterList = '127.0.5.12', DebugMode = 1");
  const pid_t pid = ::fork();
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::setenv("LD_PRELOAD", kFakeTime, 1);
    ::setenv("FAKETIME", "@2024-03-05 10:59:50", 1);
    ::setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(),
             1);
    const std::string exe = folder.Collector();
    ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // The first tick of 11:00 starts the walk; stop once it is well under way.
  const bool walking =
      test::WaitUntil([&] { return ReadFile(folder.File("Debug/Snmp.txt")).size() > 20000; }, 90s);
  ::kill(pid, SIGTERM);
  const auto stopped_at = std::chrono::steady_clock::now();
  int status = -1;
  const bool ended = test::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 10s);
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(walking) << ReadFile(folder.AppEvent());
  ASSERT_TRUE(ended);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_LT(std::chrono::steady_clock::now() - stopped_at, 5s);
  const auto lines = test::SplitCrLfLines(ReadFile(folder.AppEvent()));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().substr(20), "3\tfrmVexaArpSrv_dartSvc_State\tService Stopped");
  EXPECT_FALSE(FileExists(folder.File("ArpList.txt")));
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

// A name server on 127.0.0.1 that takes every query and never answers.
class DeadDnsServer {
 public:
  DeadDnsServer() {
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("dead DNS server cannot bind");
    spec_ = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  }
  ~DeadDnsServer() { ::close(fd_); }
  const std::string& spec() const { return spec_; }
  bool QueryArrived() {
    char buffer[512];
    return ::recv(fd_, buffer, sizeof buffer, 0) > 0;
  }

 private:
  int fd_ = -1;
  std::string spec_;
};

TEST(EndToEnd, AStopDuringTheExportFinishesTheListWithinTheGrace) {
  test::ProgramFolder folder;
  folder.Sql("UPDATE Settings_General SET StopTime = '2000-01-01 00:00', DnsCheck = 1");
  DeadDnsServer dns;
  const pid_t pid = ::fork();
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::setenv("VEXAARP_DNS_SERVERS", dns.spec().c_str(), 1);
    const std::string exe = folder.Collector();
    ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const auto log_has = [&](const char* text) {
    return ReadFile(folder.AppEvent()).find(text) != std::string::npos;
  };
  // The start empties the store; then 300 addresses, more than one batch of
  // lookups. The stop time is past, so the first tick (30 s) exports.
  const bool started = test::WaitUntil([&] { return log_has("Service Started."); }, 20s);
  if (started)
    folder.Sql(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 299) "
        "INSERT INTO ArpTable (IpAddr, MacAddr, SeenTimes) "
        "SELECT '10.9.' || (i / 256) || '.' || (i % 256), 'm', 1 FROM n");
  const bool exporting = started && test::WaitUntil([&] { return dns.QueryArrived(); }, 60s);
  ::kill(pid, SIGTERM);
  const auto stopped_at = std::chrono::steady_clock::now();
  const bool stop_seen = test::WaitUntil([&] { return log_has("Service Stopped"); }, 2s);
  int status = -1;
  const bool ended = test::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; },
                                     kExportGraceAfterStop + 2s);
  const auto took = std::chrono::steady_clock::now() - stopped_at;
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(exporting) << ReadFile(folder.AppEvent());
  EXPECT_TRUE(stop_seen) << "the stop waited for the lookups";
  ASSERT_TRUE(ended) << "still running "
                     << std::chrono::duration_cast<std::chrono::seconds>(took).count()
                     << " s after the stop";
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // Every address is listed; the lookups the grace did not see end were cancelled.
  const auto lines = test::SplitCrLfLines(ReadFile(folder.File("ArpList.txt")));
  ASSERT_EQ(lines.size(), 304u);
  size_t errors = 0;
  for (size_t i = 4; i < lines.size(); ++i) {
    const std::string name = lines[i].substr(lines[i].rfind('\t') + 1);
    EXPECT_TRUE(name == "n/a" || name == "Error") << lines[i];
    errors += name == "Error";
  }
  EXPECT_GT(errors, 0u);
  const std::string log = ReadFile(folder.AppEvent());
  EXPECT_NE(log.find("\t1\tmodSnmpComm_DnsLookupAndExport\tService stop: " +
                     std::to_string(errors) + " name lookups cancelled, listed as Error\r\n"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

TEST(EndToEnd, IpV6NeighboursIntoTheListWithTheirNames) {
  if (!FileExists(kFakeTime)) GTEST_SKIP() << "libfaketime is not installed";
  test::ProgramFolder folder;
  // IPv4 and IPv6 rows, a local and a static one, a zoned address and a row
  // with a lying length octet; dynamic rows only are kept.
  test::SimulatedAgent router({.address = "127.0.46.4"},
                              ReadFile(VEXA_SOURCE_DIR "/tests/data/neighbours-mixed.snmprec"));
  test::DnsmasqOptions dns_options;
  dns_options.listen_address = "127.0.46.5";
  dns_options.local_zones = {"8.b.d.0.1.0.0.2.ip6.arpa", "2.0.192.in-addr.arpa"};
  test::DnsmasqServer dns({{"2001:db8::a", "v6-host.lan"}, {"192.0.2.10", "v4-host.lan"}},
                          dns_options);
  folder.Sql(
      "UPDATE Settings_General SET RouterList = '127.0.46.4', NeighbourTable = 1, "
      "SaveOnlyDynamic = 1, DebugMode = 1, StopTime = '2024-03-05 11:00'");

  const pid_t pid = ::fork();
  if (pid == 0) {
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::setenv("LD_PRELOAD", kFakeTime, 1);
    ::setenv("FAKETIME", "@2024-03-05 10:59:50", 1);
    ::setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
    ::setenv("VEXAARP_DNS_SERVERS", dns.ServerSpec().c_str(), 1);
    const char* asan = std::getenv("ASAN_OPTIONS");
    ::setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":verify_asan_link_order=0").c_str(),
             1);
    const std::string exe = folder.Collector();
    ::execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  const std::string expected =
      "Start:\t2024-03-05 10:59\r\nStop:\t2024-03-05 11:00\r\n\r\n"
      "IpAddress\tMacAddress\tSeenTimes\tDnsName\r\n"
      "192.0.2.10\t02 00 00 00 00 0a\t1\tv4-host.lan\r\n"
      "2001:db8::a\t02 00 00 00 01 0a\t1\tv6-host.lan\r\n"
      "2001:db8::1:0:0:b\t02 00 00 00 01 0b\t1\tn/a\r\n";
  // The first tick of 11:00 polls, the first after 11:00:59 exports.
  const bool exported =
      test::WaitUntil([&] { return ReadFile(folder.File("ArpList.txt")) == expected; }, 240s);
  ::kill(pid, SIGTERM);
  int status = -1;
  if (!test::WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 10s)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  EXPECT_TRUE(exported) << ReadFile(folder.File("ArpList.txt")) << ReadFile(folder.AppEvent());
  EXPECT_NE(ReadFile(folder.File("Debug/ArpTable.txt"))
                .find("Table:\tipNetToPhysicalTable\r\n"
                      "Skipped:\t1 of other address types, 1 with a bad index\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace vexa

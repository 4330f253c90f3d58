// vexa-arp find, table --json and export --format on a program folder that
// the real collector filled from a real poll of a simulated router, with
// names from a real DNS server; the history beside it written in SQL.
// JSON lines are read back with Python's json module, CSV with the
// project's reader.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "arp/mac_format.h"
#include "platform/files.h"
#include "support/dns_server.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"
#include "text/csv.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kFakeTime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

// Prints each JSON line of the file named first as the values of the keys
// named after it, '|'-separated (null, true and false as JSON writes them),
// or fails on a line that is not a JSON object with exactly those keys.
constexpr const char* kJsonFields = R"(
import json, sys
keys = sys.argv[2:]
for line in open(sys.argv[1], encoding="utf-8"):
    o = json.loads(line)
    assert sorted(o) == sorted(keys), sorted(o)
    print("|".join(json.dumps(o[k]).strip('"') for k in keys))
)";

class FindTest : public ::testing::Test {
 protected:
  RunResult Cli(std::vector<std::string> args) {
    // The export's own name lookups go to the test's DNS server.
    args.insert(args.begin(), {"--folder", folder.path()});
    std::map<std::string, std::string> env = dns_env;
    env.insert({{"VEXAARP_SERVICE_MANAGER", "local"},
                {"VEXAARP_SERVICE_DIR", folder.Scratch() + "/service"},
                {"TZ", "UTC"}});
    return test::Run(VEXA_CLI_BINARY, args, env, "", 90s);
  }

  // `text` (JSON lines) read back: one line of values of `keys` per object.
  std::string JsonFields(const std::string& text, const std::vector<std::string>& keys) {
    const std::string file = folder.Scratch() + "/lines.json";
    WriteFile(file, text);
    std::vector<std::string> args = {"-c", kJsonFields, file};
    args.insert(args.end(), keys.begin(), keys.end());
    const RunResult r = test::Run("/usr/bin/python3", args);
    EXPECT_EQ(r.exit_status, 0) << r.err;
    return r.out;
  }

  // Starts the collector just before a full hour: it polls at 11:00 and
  // exports, looking the names up, at the first tick after 11:00:59.
  void PollOnce(const std::vector<ArpEntry>& rows) {
    SimulatedAgent router({.address = "127.0.32.2"}, rows);
    folder.Sql(
        "UPDATE Settings_General SET RouterList = '127.0.32.2', DnsCheck = 1, "
        "StopTime = '2024-03-05 11:00', CheckInterval = 300");
    ASSERT_EQ(Cli({"service", "install"}).exit_status, 0);
    const char* asan = std::getenv("ASAN_OPTIONS");
    std::vector<std::string> start = {"--folder", folder.path(), "service", "start"};
    std::map<std::string, std::string> env = dns_env;
    env.insert({{"VEXAARP_SERVICE_MANAGER", "local"},
                {"VEXAARP_SERVICE_DIR", folder.Scratch() + "/service"},
                {"LD_PRELOAD", kFakeTime},
                {"FAKETIME", "@2024-03-05 10:59:55"},
                {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}});
    ASSERT_EQ(test::Run(VEXA_CLI_BINARY, start, env).exit_status, 0);
    const bool exported = WaitUntil(
        [&] { return ReadFile(folder.File("ArpList.txt")).find("IpAddress") != std::string::npos; },
        240s);
    Cli({"service", "stop"});
    Cli({"service", "uninstall"});
    ASSERT_TRUE(exported) << ReadFile(folder.AppEvent());
  }

  ProgramFolder folder;
  std::map<std::string, std::string> dns_env;
};

// The lines of `find` as "ip|mac|current|name", without the header.
std::vector<std::string> Found(const std::string& out) {
  std::vector<std::string> lines;
  std::istringstream in(out);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::istringstream fields(line);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    if (f.size() < 10) f.resize(10);
    lines.push_back(f[0] + "|" + f[1] + "|" + f[8] + "|" + f[9]);
  }
  return lines;
}

TEST_F(FindTest, FindTableAndExportAfterARealPoll) {
  if (!FileExists(kFakeTime)) GTEST_SKIP() << "libfaketime is not installed";
  std::vector<ArpEntry> rows = MakeArpTable(12);
  rows[0].mac = std::string("\x00\x50\x56\xaa\xbb\x01", 6);  // VMware
  rows[1].mac = std::string("\x00\x00\x0c\x07\xac\x05", 6);  // HSRP group 5
  rows[2].mac = std::string("\x00\x1a\x2b\x3c\x4d\x5e", 6);
  rows[11].ip = "10.0.0.12";  // each address once
  DnsmasqOptions dns_options;
  dns_options.listen_address = "127.0.32.3";
  dns_options.local_zones = {"10.in-addr.arpa"};
  DnsmasqServer dns({{"10.0.0.1", "fileserver.lan"}, {"10.0.0.3", "printer.lan"}}, dns_options);
  dns_env = {{"VEXAARP_DNS_SERVERS", dns.ServerSpec()}};
  PollOnce(rows);
  ASSERT_FALSE(HasFailure());
  // The history: the walked pairing of 10.0.0.1, the MAC address it had
  // before, and an IPv6 pairing ArpTable does not hold, in place of the
  // pairings the poll itself recorded.
  folder.Sql(
      "DELETE FROM ArpHistory; INSERT INTO ArpHistory (IpAddr, MacAddr, IpKey, Router, IfIndex, FirstSeen, LastSeen, "
      "Cycles, IsCurrent) VALUES "
      "('10.0.0.1', '00 50 56 aa bb 01', X'0a000001', '127.0.32.2', 1, 1709600000, 1709636400, "
      "3, 1), "
      "('10.0.0.1', '00 50 56 aa bb 99', X'0a000001', '127.0.32.9', 7, 1700000000, 1700086400, "
      "12, 0), "
      "('2001:db8::5', '00 50 56 00 00 07', X'20010db8000000000000000000000005', '127.0.32.2', "
      "3, 1700000000, 1709636400, 40, 1)");

  const std::string current_01 = "10.0.0.1|00 50 56 aa bb 01|yes|fileserver.lan";
  const std::string old_01 = "10.0.0.1|00 50 56 aa bb 99|no|fileserver.lan";
  const std::string v6 = "2001:db8::5|00 50 56 00 00 07|yes|";
  const std::string hsrp_02 = "10.0.0.2|00 00 0c 07 ac 05|yes|n/a";
  const std::string printer_03 = "10.0.0.3|00 1a 2b 3c 4d 5e|yes|printer.lan";
  const std::vector<std::string> vmware = {current_01, v6, old_01};
  const struct {
    std::vector<std::string> args;
    int exit_status;
    std::vector<std::string> found;
  } cases[] = {
      {{"10.0.0.1"}, 0, {current_01, old_01}},
      {{"10.0.0.0/30"}, 0, {hsrp_02, printer_03, current_01, old_01}},
      {{"2001:db8::/48"}, 0, {v6}},
      {{"2001:DB8:0::5"}, 0, {v6}},
      {{"00:50:56:aa:bb:01"}, 0, {current_01}},
      {{"00-50-56-AA-BB-01"}, 0, {current_01}},
      {{"0050.56aa.bb01"}, 0, {current_01}},
      {{"005056aabb01"}, 0, {current_01}},
      {{" 00 50 56 aa bb 01 "}, 0, {current_01}},
      {{"00:50:56"}, 0, vmware},
      {{"005056"}, 0, vmware},
      {{"vendor:VMware"}, 0, vmware},
      {{"vendor:hsrp"}, 0, {hsrp_02}},
      {{"FileServer"}, 0, {current_01, old_01}},
      {{"printer.LAN"}, 0, {printer_03}},
      {{"--current", "005056"}, 0, {current_01, v6}},
      {{"192.0.2.0/24"}, 1, {}},
      {{"vendor:no such maker"}, 1, {}},
      {{"nosuchhost"}, 1, {}},
      {{"10.0.0"}, 2, {}},
      {{"00:50"}, 2, {}},
      {{"10.0.0.0/33"}, 2, {}},
      {{"vendor:"}, 2, {}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = {"find"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = Cli(args);
    EXPECT_EQ(r.exit_status, c.exit_status) << c.args.back() << ": " << r.err;
    EXPECT_EQ(Found(r.out), c.found) << c.args.back();
    if (c.exit_status == 2) {
      EXPECT_NE(r.err.find("00:1a:2b:3c:4d:5e, 00-1A-2B-3C-4D-5E, 001a.2b3c.4d5e"),
                std::string::npos)
          << r.err;
    }
  }

  // Every column, as text and as JSON read back.
  RunResult r = Cli({"find", "10.0.0.1"});
  EXPECT_EQ(r.out,
            "IpAddr\tMacAddr\tVendor\tRouter\tIfIndex\tFirstSeen\tLastSeen\tCycles\tCurrent\t"
            "DnsName\n"
            "10.0.0.1\t00 50 56 aa bb 01\tVMware, Inc.\t127.0.32.2\t1\t2024-03-05T00:53:20+00:00\t"
            "2024-03-05T11:00:00+00:00\t3\tyes\tfileserver.lan\n"
            "10.0.0.1\t00 50 56 aa bb 99\tVMware, Inc.\t127.0.32.9\t7\t2023-11-14T22:13:20+00:00\t"
            "2023-11-15T22:13:20+00:00\t12\tno\tfileserver.lan\n");
  r = Cli({"find", "--json", "10.0.0.0/30"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(JsonFields(r.out, {"ip", "mac", "vendor", "router", "if_index", "first_seen",
                               "last_seen", "cycles", "current", "name"}),
            "10.0.0.2|00 00 0c 07 ac 05|HSRP|null|2|null|null|null|true|n/a\n"
            "10.0.0.3|00 1a 2b 3c 4d 5e|Ayecom Technology Co., Ltd.|null|3|null|null|null|true|"
            "printer.lan\n"
            "10.0.0.1|00 50 56 aa bb 01|VMware, Inc.|127.0.32.2|1|2024-03-05T00:53:20+00:00|"
            "2024-03-05T11:00:00+00:00|3|true|fileserver.lan\n"
            "10.0.0.1|00 50 56 aa bb 99|VMware, Inc.|127.0.32.9|7|2023-11-14T22:13:20+00:00|"
            "2023-11-15T22:13:20+00:00|12|false|fileserver.lan\n");

  // The export in the machine formats: every address of ArpTable, with its
  // vendor and, where the history has one, its record.
  r = Cli({"export", "--format", "csv"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  CsvReader csv(r.out);
  std::vector<std::string> record;
  std::map<std::string, std::vector<std::string>> by_ip;
  ASSERT_EQ(csv.Next(record), CsvReader::Result::kRecord);
  EXPECT_EQ(record,
            (std::vector<std::string>{"IpAddress", "MacAddress", "Vendor", "SeenTimes", "DnsName",
                                      "FirstSeen", "LastSeen", "Router", "IfIndex"}));
  while (csv.Next(record) == CsvReader::Result::kRecord) by_ip[record[0]] = record;
  EXPECT_EQ(by_ip.size(), rows.size());
  EXPECT_EQ(by_ip["10.0.0.1"],
            (std::vector<std::string>{"10.0.0.1", "00 50 56 aa bb 01", "VMware, Inc.", "1",
                                      "fileserver.lan", "2024-03-05T00:53:20+00:00",
                                      "2024-03-05T11:00:00+00:00", "127.0.32.2", "1"}));
  EXPECT_EQ(by_ip["10.0.0.3"], (std::vector<std::string>{"10.0.0.3", "00 1a 2b 3c 4d 5e",
                                                         "Ayecom Technology Co., Ltd.", "1",
                                                         "printer.lan", "", "", "", ""}));
  r = Cli({"export", "--format=json", "--no-dns"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  const std::string json = JsonFields(r.out, {"ip", "mac", "vendor", "seen_times", "name",
                                              "first_seen", "last_seen", "router", "if_index"});
  EXPECT_NE(json.find("10.0.0.1|00 50 56 aa bb 01|VMware, Inc.|1||2024-03-05T00:53:20+00:00|"
                      "2024-03-05T11:00:00+00:00|127.0.32.2|1\n"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("10.0.0.2|00 00 0c 07 ac 05|HSRP|1||null|null|null|null\n"),
            std::string::npos)
      << json;
  EXPECT_EQ(Cli({"export", "--format", "xml"}).exit_status, 2);

  // table --json names the vendor too.
  r = Cli({"table", "--json"});
  EXPECT_NE(
      JsonFields(r.out, {"IpAddr", "MacAddr", "Type", "IfIndex", "SeenTimes", "DnsName", "vendor"})
          .find("10.0.0.2|00 00 0c 07 ac 05|3|2|1|n/a|HSRP\n"),
      std::string::npos);
}

}  // namespace
}  // namespace vexa::test

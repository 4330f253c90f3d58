// vexa-arp walk against real agents (one that answers, one that stays
// silent, one that sends a value no row can hold), and table and export
// after a real poll of the real collector: the export's file is the
// collector's ArpList.txt byte for byte. Also how export and the settings
// commands treat the files they write: the export's FILE, the database.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "arp/mac_format.h"
#include "platform/files.h"
#include "support/dns_server.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

constexpr const char* kFakeTime = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";

class WalkExportTest : public ::testing::Test {
 protected:
  RunResult Cli(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                const std::string& cwd = "") {
    args.insert(args.begin(), {"--folder", folder.path()});
    env["VEXAARP_SERVICE_MANAGER"] = "local";
    env["VEXAARP_SERVICE_DIR"] = folder.Scratch() + "/service";
    return test::Run(VEXA_CLI_BINARY, args, env, cwd, 90s);
  }
  std::string Dump() const {
    return test::Run("/usr/bin/sqlite3", {folder.Database(), ".dump"}).out;
  }

  ProgramFolder folder;
};

// The lines walk prints for rows an agent serves, up to the row of
// `stop_at_ip` on `stop_at_if_index` when given.
std::string WalkLines(const std::vector<ArpEntry>& rows, const std::string& stop_at_ip = "",
                      int stop_at_if_index = 0) {
  std::string out;
  for (const ArpEntry& e : InWalkOrder(rows)) {
    if (e.ip == stop_at_ip && e.if_index == stop_at_if_index) break;
    out += e.ip + "\t" + FormatMac(e.mac) + "\t" + std::to_string(e.type) + "\t" +
           std::to_string(e.if_index) + "\n";
  }
  return out;
}

TEST_F(WalkExportTest, WalkPrintsTheRowsAndHowTheWalkEnded) {
  const auto table = MakeArpTable(300);
  SimulatedAgent normal({.address = "127.0.31.2"}, table);
  SnmpdAgent silent({.address = "127.0.31.3"});  // drops a wrong community
  // A router whose third row carries its net address as a text with control
  // bytes instead of an IpAddress.
  std::string hostile = ArpTableSnmprec(MakeArpTable(5));
  const std::string third = "1.3.6.1.2.1.4.22.1.3.2.10.0.0.2|64|10.0.0.2";
  hostile.replace(hostile.find(third), third.size(),
                  "1.3.6.1.2.1.4.22.1.3.2.10.0.0.2|4x|0a1b5b324a09");
  SimulatedAgent bad({.address = "127.0.31.4"}, hostile);
  folder.Sql("UPDATE Settings_General SET TimeOut = 9, Retries = 9, DebugMode = 1");

  const struct {
    std::vector<std::string> args;
    int exit_status;
    std::string out;
    const char* err;  // a regular expression for the whole of stderr
  } cases[] = {
      {{"walk", "127.0.31.2", "--timeout", "2"},
       0,
       WalkLines(table),
       R"(127\.0\.31\.2: 300 rows in [0-9]+\.[0-9]{3} s, 0 re-sends, end of table\n)"},
      {{"walk", "127.0.31.3", "--community=wrong", "--timeout", "1", "--retries", "1"},
       1,
       "",
       R"(127\.0\.31\.3: 0 rows in [0-9.]+ s, 1 re-sends, no answer\n)"},
      {{"walk", "127.0.31.4"},
       1,
       WalkLines(MakeArpTable(5), "10.0.0.2", 2),
       R"(127\.0\.31\.4: [0-9]+ rows in [0-9.]+ s, 0 re-sends, bad response: Type mismatch: )"
       R"(the net address is not an IpAddress value\n)"},
      {{"walk"}, 2, "", "vexa-arp: walk: give the address of the router to walk\n"},
      {{"walk", "gateway.example"}, 2, "", ".*is not a router address the collector can poll.*\n"},
      {{"walk", "127.0.31.2", "--timeout", "70000"}, 2, "", ".*walk: --timeout: TimeOut must .*\n"},
      {{"walk", "127.0.31.2", "--community", "a\tb"}, 2, "", ".*must not hold control char.*\n"},
      {{"walk", "127.0.31.2", "--bulk"}, 2, "", "vexa-arp: walk: unknown option --bulk\n"},
  };
  const std::string before = Dump();
  for (const auto& c : cases) {
    const RunResult r = Cli(c.args);
    EXPECT_EQ(r.exit_status, c.exit_status) << c.args.back() << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args.back();
    EXPECT_TRUE(std::regex_match(r.err, std::regex(c.err))) << r.err;
  }
  // Nothing stored, nothing traced, even in debug mode.
  EXPECT_EQ(Dump(), before);
  EXPECT_TRUE(MatchFiles(folder.File("Debug"), "*", false).empty());
}

TEST_F(WalkExportTest, TableAndExportAfterARealPoll) {
  if (!FileExists(kFakeTime)) GTEST_SKIP() << "libfaketime is not installed";
  const auto table = MakeArpTable(40);
  SimulatedAgent router({.address = "127.0.31.5"}, table);
  std::map<std::string, std::string> names;
  for (size_t i = 0; i < table.size(); i += 3)
    names[table[i].ip] = "pc" + std::to_string(i) + ".lan";
  DnsmasqOptions dns_options;
  dns_options.listen_address = "127.0.31.6";
  dns_options.local_zones = {"10.in-addr.arpa"};
  DnsmasqServer dns(names, dns_options);
  const std::map<std::string, std::string> dns_env{{"VEXAARP_DNS_SERVERS", dns.ServerSpec()}};
  folder.Sql(
      "UPDATE Settings_General SET RouterList = '127.0.31.5', DnsCheck = 1, "
      "StopTime = '2024-03-05 11:00', CheckInterval = 300");

  // The collector starts just before a full hour: it polls at 11:00 and
  // exports at the first tick after 11:00:59.
  ASSERT_EQ(Cli({"service", "install"}).exit_status, 0);
  const char* asan = std::getenv("ASAN_OPTIONS");
  std::map<std::string, std::string> start_env = dns_env;
  start_env.insert({{"LD_PRELOAD", kFakeTime},
                    {"FAKETIME", "@2024-03-05 10:59:40"},
                    {"FAKETIME_DONT_FAKE_MONOTONIC", "1"},
                    {"ASAN_OPTIONS", std::string(asan ? asan : "") + ":verify_asan_link_order=0"}});
  ASSERT_EQ(Cli({"service", "start"}, start_env).exit_status, 0);
  const std::string list_path = folder.File("ArpList.txt");
  const bool exported =
      WaitUntil([&] { return ReadFile(list_path).find("IpAddress") != std::string::npos; }, 240s);
  Cli({"service", "stop"});
  Cli({"service", "uninstall"});
  ASSERT_TRUE(exported) << ReadFile(folder.AppEvent());
  const std::string list = ReadFile(list_path);
  const std::string stored = Dump();

  std::string expected_table = "IpAddr\tMacAddr\tType\tIfIndex\tSeenTimes\tDnsName\n";
  std::set<std::string> listed;  // each address once, as first walked
  for (const ArpEntry& e : InWalkOrder(table)) {
    if (!listed.insert(e.ip).second) continue;
    const auto name = names.find(e.ip);
    expected_table += e.ip + "\t" + FormatMac(e.mac) + "\t" + std::to_string(e.type) + "\t" +
                      std::to_string(e.if_index) + "\t1\t" +
                      (name == names.end() ? "n/a" : name->second) + "\n";
  }
  EXPECT_EQ(Cli({"table"}).out, expected_table);

  // Exports now, to a file and to stdout, with and without names.
  const std::string copy = folder.Scratch() + "/now.txt";
  WriteFile(copy, "an older, longer file that the export replaces whole\n" + list);
  RunResult r = Cli({"export", copy}, dns_env);
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(r.out + r.err, "");
  EXPECT_EQ(ReadFile(copy), list);
  r = Cli({"export", "--no-dns"});
  const std::string without_names =
      std::regex_replace(list, std::regex("(\t[0-9]+\t)[^\t\r\n]*\r\n"), "$1\r\n");
  EXPECT_NE(without_names, list);
  EXPECT_EQ(r.out, without_names);

  // The program folder's own list, by any name, is refused.
  std::filesystem::create_symlink(list_path, folder.Scratch() + "/link.txt");
  std::filesystem::create_symlink(folder.path(), folder.Scratch() + "/folder");
  std::filesystem::create_hard_link(list_path, folder.Scratch() + "/hard.txt");
  for (const std::string& target :
       {std::string("ArpList.txt"), std::string("./Debug/../ArpList.txt"),
        folder.Scratch() + "/link.txt", folder.Scratch() + "/folder/ArpList.txt",
        folder.Scratch() + "/hard.txt", std::string("VexaArp.mdb")}) {
    r = Cli({"export", "--no-dns", target}, {}, folder.path());
    EXPECT_EQ(r.exit_status, 1) << target;
    EXPECT_NE(r.err.find("is the program folder's "), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFile(list_path), list);
  EXPECT_EQ(Dump(), stored) << "the exports leave ArpTable as it was";
}

// FILE is replaced whole, keeping its permissions; a link in a folder others
// can write is refused, and what it points to left alone.
TEST_F(WalkExportTest, ExportReplacesItsFileAndNeverWritesThroughALink) {
  const std::string dir = folder.Scratch() + "/open";
  std::filesystem::create_directory(dir);
  ::chmod(dir.c_str(), 01777);
  WriteFile(folder.Scratch() + "/root-only", "root's\n");
  std::filesystem::create_symlink(folder.Scratch() + "/root-only", dir + "/planted.txt");
  WriteFile(dir + "/shared.txt", "an older, longer list\n");
  ::chmod((dir + "/shared.txt").c_str(), 0640);

  RunResult r = Cli({"export", "--no-dns", dir + "/planted.txt"});
  EXPECT_EQ(r.exit_status, 1);
  EXPECT_NE(r.err.find("planted.txt is a symbolic link; the export writes neither"),
            std::string::npos)
      << r.err;
  EXPECT_EQ(ReadFile(folder.Scratch() + "/root-only"), "root's\n");
  r = Cli({"export", "--no-dns", dir + "/shared.txt"});
  EXPECT_EQ(r.exit_status, 0) << r.err;
  EXPECT_EQ(SplitCrLfLines(ReadFile(dir + "/shared.txt")).size(), 4u);
  struct stat st {};
  ASSERT_EQ(::stat((dir + "/shared.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(MatchFiles(dir, "*", false).size(), 2u) << "no temporary file is left";
}

// A database that holds a community (or password) and that others can open
// is warned of by `settings` and narrowed by `set`; one without is not.
TEST_F(WalkExportTest, SettingsWarnsOfAnOpenDatabaseThatHoldsASecretAndSetRestrictsIt) {
  for (const std::string community : {"public", ""}) {
    folder.Sql("UPDATE Settings_General SET GetComm = '" + community + "'");
    ASSERT_EQ(::chmod(folder.Database().c_str(), 0644), 0);
    EXPECT_EQ(Cli({"settings"}).err,
              community.empty() ? ""
                                : "vexa-arp: settings: warning: " + folder.Database() +
                                      " holds a community or password and is open to group or "
                                      "others (mode 0644); `vexa-arp set` or chmod 600 restricts "
                                      "it\n");
    EXPECT_EQ(Cli({"set", "TimeOut", "7"}).exit_status, 0);
    struct stat st {};
    ASSERT_EQ(::stat(folder.Database().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, community.empty() ? 0644u : 0600u) << community;
  }
}

}  // namespace
}  // namespace vexa::test

// Name resolution and the export file on a real database; the resolver is a
// scripted one here so that each outcome can be chosen per address (the
// c-ares resolver against dnsmasq is tested on its own and end to end).
#include "arp/export.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include "db/sqlite.h"
#include "dns/cares_reverse_resolver.h"
#include "platform/files.h"
#include "scripted_dns_responder.h"
#include "support/dns_server.h"
#include "support/test_folder.h"

namespace vexa {
namespace {

using std::chrono::milliseconds;
using test::ReadFile;

class ScriptedResolver : public dns::ReverseResolver {
 public:
  std::vector<dns::LookupResult> LookupAll(const std::vector<std::string>& addresses) override {
    std::vector<dns::LookupResult> out;
    for (const auto& a : addresses) {
      ++lookups;
      const auto it = answers.find(a);
      out.push_back(it != answers.end()
                        ? it->second
                        : dns::LookupResult{dns::LookupOutcome::kNotFound, "NXDOMAIN"});
    }
    ++batches;
    return out;
  }
  std::map<std::string, dns::LookupResult> answers;
  int lookups = 0;
  int batches = 0;
};

class ArpExportTest : public ::testing::Test {
 protected:
  ArpExportTest() {
    db_path = folder.Database();
    settings.stop_time = {2004, 6, 1, 23, 0, 0};
  }
  void Add(const std::string& ip, const std::string& mac, int seen, const char* name = nullptr) {
    folder.Sql(
        "INSERT INTO ArpTable (IpAddr, MacAddr, Type, IfIndex, SeenTimes, DnsName) VALUES ('" + ip +
        "', '" + mac + "', 3, 1, " + std::to_string(seen) + ", " +
        (name ? "'" + std::string(name) + "'" : "NULL") + ")");
  }
  std::string Names() {
    std::string out;
    Database db = Database::Open(folder.Database());
    Statement st = db.Prepare("SELECT IpAddr, DnsName FROM ArpTable ORDER BY rowid");
    while (st.Step()) out += st.ColumnText(0) + "=" + st.ColumnText(1) + ";";
    return out;
  }
  std::string Export() { return ReadFile(folder.File("ArpList.txt")); }
  std::set<std::string> FolderEntries() const {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder.path()))
      names.insert(e.path().filename().string());
    return names;
  }
  static dns::LookupResult Name(const std::string& n) { return {dns::LookupOutcome::kName, n}; }

  test::ProgramFolder folder;
  SimulatedClock clock{FromLocal({2004, 6, 1, 23, 1, 30})};
  EventLoop loop{clock};
  std::string program_folder = folder.path();
  std::string db_path;
  CollectorSettings settings;
  EventLog log{loop, program_folder};
  CollectorContext ctx{loop, log, program_folder, db_path, settings};
  ScriptedResolver resolver;
  LocalDateTime start{2004, 5, 30, 9, 12, 0};
  ArpExport exporter{ctx, resolver, start};
};

TEST_F(ArpExportTest, AnEmptyTableGivesExactlyFourLines) {
  exporter.Run(true);
  EXPECT_EQ(Export(),
            "Start:\t2004-05-30 09:12\r\nStop:\t2004-06-01 23:00\r\n\r\n"
            "IpAddress\tMacAddress\tSeenTimes\tDnsName\r\n");
}

TEST_F(ArpExportTest, NamesAreStoredAndListedInTableOrder) {
  Add("10.0.0.12", "00 00 00 00 00 0c", 3, "stale");
  Add("10.0.0.1", "00 00 00 00 00 01", 7);
  Add("10.0.0.5", "00 00 00 00 00 05", 1);
  Add("10.0.0.6", "00 00 00 00 00 06", 2);
  resolver.answers["10.0.0.12"] = Name("printer.lan");
  resolver.answers["10.0.0.5"] = Name("DNS-ERROR-host");  // "ERROR" anywhere: no name
  resolver.answers["10.0.0.6"] = Name("error.lan");       // other case: kept
  exporter.Run(true);
  EXPECT_EQ(Names(), "10.0.0.12=printer.lan;10.0.0.1=n/a;10.0.0.5=n/a;10.0.0.6=error.lan;");
  EXPECT_EQ(Export(),
            "Start:\t2004-05-30 09:12\r\nStop:\t2004-06-01 23:00\r\n\r\n"
            "IpAddress\tMacAddress\tSeenTimes\tDnsName\r\n"
            "10.0.0.12\t00 00 00 00 00 0c\t3\tprinter.lan\r\n"
            "10.0.0.1\t00 00 00 00 00 01\t7\tn/a\r\n"
            "10.0.0.5\t00 00 00 00 00 05\t1\tn/a\r\n"
            "10.0.0.6\t00 00 00 00 00 06\t2\terror.lan\r\n");
  EXPECT_FALSE(FileExists(folder.AppEvent()));
}

TEST_F(ArpExportTest, FailedLookupsGiveErrorAndOneLineEachInTableOrder) {
  Add("10.0.0.1", "a", 1);
  Add("10.0.0.2", "b", 1);
  Add("10.0.0.3", "c", 1);
  resolver.answers["10.0.0.1"] = {dns::LookupOutcome::kFailed, "resolver unusable (one)"};
  resolver.answers["10.0.0.3"] = {dns::LookupOutcome::kFailed, "resolver unusable (three)"};
  resolver.answers["10.0.0.2"] = {dns::LookupOutcome::kTimedOut, "no answer"};
  exporter.Run(true);
  EXPECT_EQ(Names(), "10.0.0.1=Error;10.0.0.2=n/a;10.0.0.3=Error;");
  const auto lines = test::SplitCrLfLines(ReadFile(folder.AppEvent()));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(20), "1\tmodSnmpComm_ReverseDnsLookup\tresolver unusable (one)");
  EXPECT_EQ(lines[1].substr(20), "1\tmodSnmpComm_ReverseDnsLookup\tresolver unusable (three)");
  EXPECT_NE(Export().find("10.0.0.3\tc\t1\tError\r\n"), std::string::npos);
}

TEST_F(ArpExportTest, PausesAfterEvery101RecordsOverBothPasses) {
  folder.Sql(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 150) "
      "INSERT INTO ArpTable (IpAddr, MacAddr, SeenTimes) SELECT '10.9.0.' || i, 'm', 1 FROM n");
  exporter.Run(true);
  // After record 101 of the name pass and after 202 records in all.
  EXPECT_EQ(clock.WaitedTotal(), milliseconds(100));
  EXPECT_EQ(test::SplitCrLfLines(Export()).size(), 154u);
}

TEST_F(ArpExportTest, WithoutNameResolutionNothingIsLookedUpAndNamesAreEmpty) {
  Add("10.0.0.1", "a", 4, "old name");
  exporter.Run(false);
  EXPECT_EQ(resolver.lookups, 0);
  EXPECT_NE(Export().find("\r\n10.0.0.1\ta\t4\t\r\n"), std::string::npos) << Export();
}

TEST_F(ArpExportTest, ASecondExportReplacesTheFileAndLooksUpAgain) {
  Add("10.0.0.1", "a", 1);
  resolver.answers["10.0.0.1"] = Name("first");
  exporter.Run(true);
  resolver.answers["10.0.0.1"] = Name("second");
  exporter.Run(true);
  EXPECT_EQ(resolver.lookups, 2);
  const std::string list = Export();
  EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 5);
  EXPECT_NE(list.find("\tsecond\r\n"), std::string::npos);
}

TEST_F(ArpExportTest, AListingThatFailsPartWayLeavesTheEarlierListAndNoPartOfItsOwn) {
  for (int i = 1; i <= 5; ++i) Add("10.0.0." + std::to_string(i), "m", i);
  test::WriteFile(folder.File("ArpList.txt"), "an earlier list\r\n");
  const auto before = FolderEntries();
  // Another tool has put a view in the table's place whose fourth record
  // cannot be read.
  folder.Sql(
      "ALTER TABLE ArpTable RENAME TO Stored;"
      "CREATE VIEW ArpTable (rowid, IpAddr, MacAddr, SeenTimes, DnsName) AS SELECT rowid, IpAddr, "
      "MacAddr, CASE WHEN rowid = 4 THEN abs(-9223372036854775807 - 1) ELSE SeenTimes END, "
      "DnsName FROM Stored");
  exporter.Run(false);
  EXPECT_EQ(Export(), "an earlier list\r\n");
  EXPECT_EQ(FolderEntries(), before) << "no temporary file is left";
  const auto lines = test::SplitCrLfLines(ReadFile(folder.AppEvent()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\t1\tmodSnmpComm_DnsLookupAndExport\tinteger overflow"),
            std::string::npos)
      << lines[0];
}

// The list is written aside and renamed: whoever reads ArpList.txt meanwhile
// (here every 10 ms, through the pauses of the export) sees what was there or
// the whole new list, and a link in its place is replaced, not written
// through.
TEST_F(ArpExportTest, AReaderSeesTheOldListOrTheWholeNewOneAndALinkIsNotFollowed) {
  folder.Sql(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 303) "
      "INSERT INTO ArpTable (IpAddr, MacAddr, SeenTimes) SELECT '10.9.0.' || i, 'm', 1 FROM n");
  const std::string victim = folder.Scratch() + "/victim.txt";
  test::WriteFile(victim, "not the list's\r\n");
  ASSERT_EQ(::symlink(victim.c_str(), folder.File("ArpList.txt").c_str()), 0);
  const auto before = FolderEntries();
  std::set<std::string> seen;
  PeriodicTimer reader(loop, milliseconds(10), [&] { seen.insert(Export()); });
  reader.SetEnabled(true);
  ASSERT_TRUE(exporter.Run(true));
  reader.SetEnabled(false);

  EXPECT_EQ(ReadFile(victim), "not the list's\r\n");
  struct stat st {};
  ASSERT_EQ(::lstat(folder.File("ArpList.txt").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  const std::string list = Export();
  EXPECT_EQ(test::SplitCrLfLines(list).size(), 307u);
  EXPECT_GT(seen.size(), 0u);
  for (const std::string& read : seen)
    EXPECT_TRUE(read == "not the list's\r\n" || read == list) << read.size() << " bytes";
  EXPECT_EQ(FolderEntries(), before) << "no temporary file is left";
}

TEST_F(ArpExportTest, LookupsGoInBatchesWithTheSameResultAsOneByOne) {
  for (int i = 0; i < 600; ++i)
    Add("10.8." + std::to_string(i / 256) + "." + std::to_string(i % 256), "m", 1);
  exporter.Run(true);
  EXPECT_EQ(resolver.lookups, 600);
  EXPECT_EQ(resolver.batches, 3);
}

TEST_F(ArpExportTest, FailuresOfItsOwnAreLogged) {
  Add("10.0.0.1", "a", 1);
  ::mkdir(folder.File("ArpList.txt").c_str(), 0755);  // cannot be opened as a file
  exporter.Run(true);
  EXPECT_EQ(Names(), "10.0.0.1=n/a;");  // the names were stored before
  const auto lines = test::SplitCrLfLines(ReadFile(folder.AppEvent()));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("\t1\tmodSnmpComm_DnsLookupAndExport\tCould not open"),
            std::string::npos);

  db_path = folder.path() + "/Missing.mdb";
  exporter.Run(true);
  EXPECT_NE(ReadFile(folder.AppEvent()).find("DnsLookupAndExport\tCould not find the database"),
            std::string::npos);
}

}  // namespace
}  // namespace vexa

namespace vexa {
namespace {

// The same export through the real resolver: dnsmasq for names and NXDOMAIN,
// and a scripted server for a name in capitals, which dnsmasq would fold.
TEST_F(ArpExportTest, RealLookupsThroughCaresAgainstDnsmasq) {
  Add("10.7.0.1", "a", 1);
  Add("10.7.0.2", "b", 2);
  Add("10.7.0.3", "c", 3);
  test::DnsmasqOptions options;
  options.local_zones = {"10.in-addr.arpa"};
  test::DnsmasqServer dns({{"10.7.0.1", "gateway.lan"}, {"10.7.0.3", "printer.lan"}}, options);
  dns::CaresResolverOptions resolver_options;
  resolver_options.servers = dns.ServerSpec();
  clock.SetRealPollBudget(milliseconds(10));  // the answers take real time
  dns::CaresReverseResolver real(loop, resolver_options);
  ArpExport real_exporter{ctx, real, start};
  real_exporter.Run(true);
  EXPECT_EQ(Names(), "10.7.0.1=gateway.lan;10.7.0.2=n/a;10.7.0.3=printer.lan;");

  test::ScriptedDnsResponder capitals([](const test::DnsQuery& q) -> std::optional<std::string> {
    return test::ReplyBuilder(q).PtrAnswer({"Router-ERROR", "Example"});
  });
  resolver_options.servers = capitals.ServerSpec();
  dns::CaresReverseResolver shouting(loop, resolver_options);
  ArpExport shouting_exporter{ctx, shouting, start};
  shouting_exporter.Run(true);
  EXPECT_EQ(Names(), "10.7.0.1=n/a;10.7.0.2=n/a;10.7.0.3=n/a;");
  EXPECT_FALSE(FileExists(folder.AppEvent()));
}

}  // namespace
}  // namespace vexa

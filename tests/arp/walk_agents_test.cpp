// Walks against real agents on loopback: snmpsim serving generated ARP tables
// and net-snmp's snmpd serving this machine's own. Each walk, with get-next
// and with GETBULK, must give the rows that net-snmp's own walker finds on
// the same agent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <optional>
#include <sstream>

#include "arp/walk.h"
#include "platform/files.h"
#include "platform/local_time.h"
#include "snmp/oid_text.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"
#include "support/walked_rows.h"
#include "support/walker_parts.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;

using Row = test::WalkedRow;
using test::RowsOf;

// The ARP table as snmpbulkwalk reads it, in walk order, taken as the
// collector keeps it: the interface and the address from the index where
// their columns lack them, type 0 where the agent holds none, an empty MAC
// as six zero octets, and no row without a MAC.
std::vector<Row> ReferenceWalk(const std::string& agent, const std::string& scratch) {
  const test::RunResult r = test::Run(
      "/usr/bin/snmpbulkwalk",
      {"-v2c", "-c", "public", "-On", "-Oqx", "-Cr50", "-t", "5", agent, "1.3.6.1.2.1.4.22.1"},
      {{"SNMP_PERSISTENT_DIR", scratch}, {"SNMPCONFPATH", scratch}}, "", std::chrono::seconds(120));
  EXPECT_EQ(r.exit_status, 0) << r.err;
  struct Columns {
    std::optional<int32_t> if_index;
    std::optional<std::string> ip, mac;
    int16_t type = 0;
  };
  // By index, in the MIB's order of the indexes.
  const auto before = [](const std::string& a, const std::string& b) {
    return snmp::CompareOidText(a, b).value_or(0) < 0;
  };
  std::map<std::string, Columns, decltype(before)> rows(before);
  const std::string entry = ".1.3.6.1.2.1.4.22.1.";
  std::istringstream in(r.out);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(entry, 0) != 0) continue;
    const size_t dot = line.find('.', entry.size());
    const size_t blank = line.find(' ');
    const int column = std::stoi(line.substr(entry.size(), dot - entry.size()));
    const std::string index = line.substr(dot, blank - dot);
    std::string value = line.substr(blank + 1);
    Columns& row = rows[index];
    if (column == 1) row.if_index = std::stoi(value);
    if (column == 3) row.ip = value;
    if (column == 4) row.type = static_cast<int16_t>(std::stoi(value));
    if (column == 2) {
      value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
      while (!value.empty() && value.back() == ' ') value.pop_back();
      std::transform(value.begin(), value.end(), value.begin(), ::tolower);
      row.mac = value.empty() ? "00 00 00 00 00 00" : value;
    }
  }
  std::vector<Row> out;
  for (const auto& [index, row] : rows) {
    if (!row.mac) continue;
    const PhysicalIndex named = DecodeMediaIndex(index);
    out.push_back({row.if_index.value_or(named.if_index), row.ip.value_or(named.address), *row.mac,
                   row.type});
  }
  return out;
}

class WalkAgentsTest : public ::testing::Test, protected test::WalkerParts<SystemClock> {
 protected:
  std::vector<Row> Walk(const std::string& router) {
    result = walker.Walk(router);
    return RowsOf(result);
  }
};

TEST_F(WalkAgentsTest, GeneratedTablesOfEverySizeWalkLikeNetSnmp) {
  // Both types, and the last row's address on a second interface.
  for (const size_t count : {0u, 1u, 250u, 20000u}) {
    test::SimulatedAgent agent({.address = "127.0.6.2"}, test::MakeArpTable(count));
    const std::vector<Row> reference = ReferenceWalk("127.0.6.2", dir.path());
    ASSERT_EQ(reference.size(), count);
    for (const bool bulk : {false, true}) {
      settings.use_bulk = bulk;
      const std::vector<Row> rows = Walk("127.0.6.2");
      ASSERT_EQ(rows.size(), count) << "bulk " << bulk;
      EXPECT_TRUE(rows == reference) << count << " rows differ, bulk " << bulk;
      EXPECT_FALSE(walker.Busy());
      EXPECT_EQ(result.resends, 0) << count;
    }
    settings.use_bulk = false;
  }
}

// snmpsim's example recordings of agents that serve the table in part, where
// installed: a row whose net address is not its index (mib2dev/ip-mib), and
// physical addresses without the other columns (hp_perf).
TEST_F(WalkAgentsTest, SnmpsimExamplesOfPartialTablesWalkLikeNetSnmp) {
  const std::string examples = "/usr/share/doc/snmpsim/examples/data/";
  for (const char* file : {"mib2dev/ip-mib.snmprec.gz", "hp_perf.snmprec.gz"}) {
    const std::string path = examples + file;
    if (!FileExists(path)) GTEST_SKIP() << path << " is not installed";
    const test::RunResult unpacked = test::Run("/usr/bin/zcat", {path});
    ASSERT_EQ(unpacked.exit_status, 0) << unpacked.err;
    test::SimulatedAgent agent({.address = "127.0.6.4"}, unpacked.out);
    const std::vector<Row> reference = ReferenceWalk("127.0.6.4", dir.path());
    ASSERT_FALSE(reference.empty()) << file;
    for (const bool bulk : {false, true}) {
      settings.use_bulk = bulk;
      EXPECT_EQ(Walk("127.0.6.4"), reference) << file << ", bulk " << bulk;
      EXPECT_EQ(OutcomeText(result), "end of table") << file << ", bulk " << bulk;
    }
  }
}

TEST_F(WalkAgentsTest, ThisMachinesOwnArpTableThroughSnmpd) {
  test::SnmpdAgent agent({.address = "127.0.6.3"});
  const std::vector<Row> reference = ReferenceWalk("127.0.6.3", dir.path());
  for (const bool bulk : {false, true}) {
    settings.use_bulk = bulk;
    EXPECT_EQ(Walk("127.0.6.3"), reference) << "bulk " << bulk;
    EXPECT_FALSE(walker.Busy());
  }
}

}  // namespace
}  // namespace vexa

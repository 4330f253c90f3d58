// Walks against real agents on loopback: snmpsim serving generated ARP tables
// and net-snmp's snmpd serving this machine's own. Each walk, with get-next
// and with GETBULK, must give the rows that net-snmp's own walker finds on
// the same agent.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "arp_walk.h"
#include "platform/local_time.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"
#include "support/walked_rows.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;

using Row = test::WalkedRow;
using test::RowsOf;

// The ARP table as snmpbulkwalk reads it, in walk order.
std::vector<Row> ReferenceWalk(const std::string& agent, const std::string& scratch) {
  const test::RunResult r = test::Run(
      "/usr/bin/snmpbulkwalk",
      {"-v2c", "-c", "public", "-On", "-Oqx", "-Cr50", "-t", "5", agent, "1.3.6.1.2.1.4.22.1"},
      {{"SNMP_PERSISTENT_DIR", scratch}, {"SNMPCONFPATH", scratch}}, "", std::chrono::seconds(120));
  EXPECT_EQ(r.exit_status, 0) << r.err;
  std::vector<std::string> order;
  std::map<std::string, Row> rows;
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
    if (column == 1) order.push_back(index);
    Row& row = rows[index];
    if (column == 1) row.if_index = std::stoi(value);
    if (column == 3) row.ip = value;
    if (column == 4) row.type = static_cast<int16_t>(std::stoi(value));
    if (column == 2) {
      value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
      while (!value.empty() && value.back() == ' ') value.pop_back();
      std::transform(value.begin(), value.end(), value.begin(), ::tolower);
      row.mac = value;
    }
  }
  std::vector<Row> out;
  for (const auto& index : order) out.push_back(rows[index]);
  return out;
}

class WalkAgentsTest : public ::testing::Test {
 protected:
  WalkAgentsTest() {
    ::mkdir((folder + "/Debug").c_str(), 0755);
    settings.community = "public";
    settings.timeout_seconds = 5;
    settings.retries = 2;
    manager.Open();
  }
  std::vector<Row> Walk(const std::string& router) {
    result = walker.Walk(router);
    return RowsOf(result);
  }

  test::TempDir dir;
  std::string folder = dir.path();
  std::string db;
  SystemClock clock;
  EventLoop loop{clock};
  CollectorSettings settings;
  EventLog log{loop, folder};
  CollectorContext ctx{loop, log, folder, db, settings};
  snmp::Manager manager{loop};
  ArpWalker walker{ctx, manager};
  WalkResult result;
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

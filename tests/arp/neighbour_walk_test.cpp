// Walks of ipNetToPhysicalTable (NeighbourTable 1) against real agents on
// loopback: snmpsim serving recordings of mixed rows and of agents without
// the table, and snmpd serving the kernel neighbour table of a network
// namespace of the test's own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "arp/mac_format.h"
#include "arp/walk.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"
#include "support/walked_rows.h"
#include "support/walker_parts.h"

namespace vexa {
namespace {

using Row = test::WalkedRow;
using test::RowsOf;

// One walker with its own socket, made where the agent can be reached (after
// the test has entered its namespace).
struct NeighbourWalker : test::WalkerParts<SystemClock> {
  NeighbourWalker() {
    settings.timeout_seconds = 2;
    settings.retries = 1;
    settings.neighbour_table = kNeighbourTablePhysical;
  }
  std::vector<Row> Walk(const std::string& router) {
    result = walker.Walk(router);
    return RowsOf(result);
  }
};

TEST(NeighbourWalk, RecordingsOfMixedRowsAndOfAgentsWithoutTheTable) {
  const std::vector<test::ArpEntry> media = test::MakeArpTable(3);
  std::vector<Row> media_rows;
  for (const auto& e : test::InWalkOrder(media))
    media_rows.push_back({e.if_index, e.ip, FormatMac(e.mac), static_cast<int16_t>(e.type)});
  // ipNetToMediaTable, with or without an object after the IP group.
  const std::string media_rec = test::ArpTableSnmprec(media);
  const std::string beyond = "1.3.6.1.2.1.6.5.0|65|7\n";

  const struct {
    const char* what;
    std::string recording;
    std::vector<Row> rows;
    std::string tables;  // the tables walked, in order
    size_t other_type, bad_index;
  } cases[] = {
      {"mixed rows",
       test::ReadFile(VEXA_SOURCE_DIR "/tests/data/neighbours-mixed.snmprec"),
       {{1, "192.0.2.10", "02 00 00 00 00 0a", 3},
        {1, "2001:db8::a", "02 00 00 00 01 0a", 3},
        {1, "fe80::1", "02 00 00 00 01 01", 5},
        {2, "192.0.2.11", "02 00 00 00 00 0b", 4},
        {2, "2001:db8::1:0:0:b", "02 00 00 00 01 0b", 3},
        {3, "2001:db8::c", "02 00 00 00 01 0c", 0}},  // no type: none known
       "ipNetToPhysicalTable",
       1,   // a zoned link-local address
       1},  // a length octet that lies
      {"no table, an object after it", media_rec + beyond, media_rows, "ipNetToMediaTable", 0, 0},
      {"no table, nothing after it", media_rec, media_rows, "ipNetToMediaTable", 0, 0},
      // IPv4 in ipNetToMediaTable only: both tables are walked.
      {"IPv6 only",
       test::ReadFile(VEXA_SOURCE_DIR "/tests/data/neighbours-ipv6-only.snmprec"),
       {{1, "2001:db8::a", "02 00 00 00 01 0a", 3},
        {1, "fe80::1", "02 00 00 00 01 01", 5},
        {2, "2001:db8::b", "02 00 00 00 01 0b", 4},
        {1, "192.0.2.10", "02 00 00 00 00 0a", 3},
        {2, "192.0.2.11", "02 00 00 00 00 0b", 4}},
       "ipNetToPhysicalTable, ipNetToMediaTable",
       0,
       0},
  };
  for (const auto& c : cases) {
    test::SimulatedAgent agent({.address = "127.0.46.2"}, c.recording);
    // By get-next, and by GETBULK of two rows, so that rows passed over and
    // the table's end fall inside a response.
    for (const bool bulk : {false, true}) {
      const std::string what = std::string(c.what) + (bulk ? ", GETBULK" : ", get-next");
      NeighbourWalker walk;
      walk.settings.use_bulk = bulk;
      walk.settings.max_repetitions = 2;
      EXPECT_EQ(walk.Walk("127.0.46.2"), c.rows) << what;
      EXPECT_EQ(OutcomeText(walk.result), "end of table") << what;
      const NeighbourTable* second = walk.result.second_table;
      EXPECT_EQ(walk.result.table->name + (second ? std::string(", ") + second->name : ""),
                c.tables)
          << what;
      EXPECT_EQ(walk.result.skipped_other_type, c.other_type) << what;
      EXPECT_EQ(walk.result.skipped_bad_index, c.bad_index) << what;
    }
  }
}

// Enters a new network namespace for its lifetime; the namespace goes when
// the last process in it (the test, the agent) has left.
class PrivateNetwork {
 public:
  PrivateNetwork() {
    home_ = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
    entered_ = home_ >= 0 && ::unshare(CLONE_NEWNET) == 0;
  }
  ~PrivateNetwork() {
    if (entered_) ::setns(home_, CLONE_NEWNET);
    if (home_ >= 0) ::close(home_);
  }
  bool entered() const { return entered_; }
  // Runs `ip` with the arguments; its failure output, empty on success.
  static std::string Ip(const std::vector<std::string>& args) {
    const test::RunResult r = test::Run("/usr/sbin/ip", args);
    return r.exit_status == 0 ? "" : "ip failed: " + r.err;
  }

 private:
  int home_ = -1;
  bool entered_ = false;
};

TEST(NeighbourWalk, KernelNeighboursOfANamespaceThroughSnmpd) {
  PrivateNetwork net;
  if (!net.entered()) GTEST_SKIP() << "no network namespace can be made here";
  const std::vector<std::vector<std::string>> setup = {
      {"link", "set", "lo", "up"},
      {"link", "add", "vexa0", "type", "veth", "peer", "name", "vexa1"},
      {"link", "set", "vexa0", "up"},
      {"addr", "add", "192.0.2.1/24", "dev", "vexa0"},
      {"-6", "addr", "add", "2001:db8::1/64", "dev", "vexa0", "nodad"},
      {"neigh", "add", "192.0.2.10", "lladdr", "02:00:00:00:00:0a", "dev", "vexa0", "nud",
       "permanent"},
      {"neigh", "add", "192.0.2.11", "lladdr", "02:00:00:00:00:0b", "dev", "vexa0", "nud",
       "reachable"},
      {"-6", "neigh", "add", "2001:db8::a", "lladdr", "02:00:00:00:01:0a", "dev", "vexa0", "nud",
       "permanent"},
      {"-6", "neigh", "add", "2001:db8::1:0:0:b", "lladdr", "02:00:00:00:01:0b", "dev", "vexa0",
       "nud", "stale"},
  };
  for (const auto& args : setup) ASSERT_EQ(PrivateNetwork::Ip(args), "");
  const auto vexa0 = static_cast<int32_t>(::if_nametoindex("vexa0"));
  ASSERT_GT(vexa0, 0);

  test::SnmpdAgent agent({.address = "127.0.0.1"});
  NeighbourWalker walk;
  std::vector<Row> rows = walk.Walk("127.0.0.1");
  EXPECT_EQ(OutcomeText(walk.result), "end of table");
  EXPECT_STREQ(walk.result.table->name, "ipNetToPhysicalTable");
  // Only the neighbours made here; the kernel may add link-local ones.
  std::erase_if(rows, [](const Row& r) {
    return r.ip.rfind("192.0.2.", 0) != 0 && r.ip.rfind("2001:db8:", 0) != 0;
  });
  const std::vector<Row> expected = {
      {vexa0, "192.0.2.10", "02 00 00 00 00 0a", 4},
      {vexa0, "192.0.2.11", "02 00 00 00 00 0b", 3},
      {vexa0, "2001:db8::a", "02 00 00 00 01 0a", 4},
      {vexa0, "2001:db8::1:0:0:b", "02 00 00 00 01 0b", 3},
  };
  EXPECT_EQ(rows, expected) << agent.Log();
}

}  // namespace
}  // namespace vexa

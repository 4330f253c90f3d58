// Poll cycles whose walks run side by side, against snmpsim routers on
// loopback: ArpTable must come out as a cycle of one walk at a time leaves
// it (the earlier router of the list keeps an address that two report), a
// dead router must not hold up the others, and a stop ends every walk.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "arp/poll_cycle.h"
#include "arp/store.h"
#include "arp/walker_pool.h"
#include "db/sqlite.h"
#include "platform/clock.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"
#include "support/walker_parts.h"

namespace vexa {
namespace {

using namespace std::chrono_literals;

// IpAddr -> "MacAddr Type IfIndex SeenTimes"
using Table = std::map<std::string, std::string>;

// Router k: the shared addresses 10.0.0.x (its own MACs, so the router that
// wins shows), and addresses of its own 172.16.k.x.
std::vector<test::ArpEntry> RouterTable(int k, size_t rows) {
  std::vector<test::ArpEntry> table = test::MakeArpTable(rows);
  for (size_t i = 0; i < table.size(); ++i) {
    table[i].mac[1] = static_cast<char>(k);
    if (i % 2 == 1) table[i].ip = "172.16." + std::to_string(k) + "." + std::to_string(i % 250 + 1);
  }
  return table;
}

class ParallelCycleTest : public ::testing::Test, protected test::WalkerParts<SystemClock> {
 protected:
  ParallelCycleTest() {
    db = program.Database();
    folder = program.path();
    settings.timeout_seconds = 1;
    settings.retries = 0;
    settings.use_bulk = true;
    settings.max_repetitions = 10;
    cycle.WalkSideBySideWith([this] { return pool.Walkers(); });
  }

  void StartRouters(int count, size_t rows) {
    for (int k = 1; k <= count; ++k)
      agents.push_back(std::make_unique<test::SimulatedAgent>(
          test::AgentOptions{.address = "127.0.3." + std::to_string(k)}, RouterTable(k, rows)));
  }

  // Runs one cycle over `routers` with `parallel` walks at once, on a
  // cleared ArpTable, and returns what it stored.
  Table Cycle(const std::string& routers, int parallel) {
    settings.router_list = routers;
    settings.parallel_walks = parallel;
    pool.Resize(parallel, nullptr);
    store.Clear();
    cycle.Run();
    Table table;
    Database d = Database::Open(db);
    Statement st = d.Prepare("SELECT IpAddr, MacAddr, Type, IfIndex, SeenTimes FROM ArpTable");
    while (st.Step())
      table[st.ColumnText(0)] = st.ColumnText(1) + ' ' + st.ColumnText(2) + ' ' + st.ColumnText(3) +
                                ' ' + st.ColumnText(4);
    return table;
  }

  test::ProgramFolder program;
  std::vector<std::unique_ptr<test::SimulatedAgent>> agents;
  ArpStore store{ctx};
  WalkerPool pool{ctx, walker};
  PollCycle cycle{ctx, store, [this](const std::string& router) { return walker.Walk(router); }};
};

TEST_F(ParallelCycleTest, SideBySideStoresWhatOneByOneStores) {
  StartRouters(4, 300);
  struct Case {
    const char* name;
    std::string routers;  // 127.0.3.9 is dead
    int parallel;
    int snmp_version = 2;
  };
  const std::vector<Case> cases = {
      {"all live, two at once", "127.0.3.1\r\n127.0.3.2\r\n127.0.3.3\r\n127.0.3.4", 2},
      {"all live, more walkers than routers", "127.0.3.4\r\n127.0.3.2\r\n127.0.3.1", 8},
      {"a dead router first", "127.0.3.9\r\n127.0.3.3\r\n127.0.3.1\r\n127.0.3.2\r\n127.0.3.4", 4},
      {"a dead router in the middle", "127.0.3.2\r\n127.0.3.9\r\n127.0.3.1", 3},
      // GETBULK asked of SNMPv1: the note is said once for all walkers.
      {"SNMPv1", "127.0.3.3\r\n127.0.3.4\r\n127.0.3.1", 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    settings.snmp_version = c.snmp_version;
    const Table one_by_one = Cycle(c.routers, 1);
    const Millis one_by_one_took = cycle.LastFigures().duration;
    const Table side_by_side = Cycle(c.routers, c.parallel);
    const Millis side_by_side_took = cycle.LastFigures().duration;
    ASSERT_GT(one_by_one.size(), 300u);
    EXPECT_EQ(side_by_side, one_by_one);
    // The shared address keeps the MAC of the first live router listed.
    const std::string first =
        c.routers.substr(0, 9) == "127.0.3.9" ? c.routers.substr(11, 9) : c.routers.substr(0, 9);
    const char mac_octet = first.back();
    EXPECT_EQ(side_by_side.at("10.0.0.1").substr(0, 5), std::string("02 0") + mac_octet);
    // The routers wait for no other walk than their own: the pauses of one
    // walk at a time alone make up more than a second per live router.
    EXPECT_LT(side_by_side_took, one_by_one_took - 2s);
    EXPECT_FALSE(cycle.LastFigures().stopped);
  }
  const std::string events = test::ReadFile(program.AppEvent());
  size_t notes = 0;
  for (size_t at = 0; (at = events.find("SNMPv1 has no GETBULK", at)) != std::string::npos; ++at)
    ++notes;
  EXPECT_EQ(notes, 1u) << events;
}

TEST_F(ParallelCycleTest, AStopEndsEveryWalkOfTheCycle) {
  StartRouters(3, 2000);
  settings.use_bulk = false;  // long walks: one row per exchange
  SteadyTime stopped_at{};
  OneShotTimer stop(loop, [&] {
    stopped_at = clock.Now();
    pool.SetEnabled(false);
  });
  stop.StartAt(clock.Now() + 300ms);
  Cycle("127.0.3.1\r\n127.0.3.2\r\n127.0.3.3", 3);
  EXPECT_TRUE(cycle.LastFigures().stopped);
  EXPECT_LT(clock.Now() - stopped_at, 1s);
  for (ArpWalker* w : pool.Walkers()) EXPECT_FALSE(w->Busy());
}

}  // namespace
}  // namespace vexa

// The agent starters of tests/support: the generated ARP table, snmpsimd
// serving it on port 161 of its own loopback address (walked through the
// manager the way the collector walks it), and snmpd on a chosen address
// with a chosen community.
#include "support/snmp_agents.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "snmp/manager.h"

namespace vexa::test {
namespace {

using namespace std::chrono_literals;

// 127.77.x.y from the process id, so that parallel test runs do not meet on
// port 161.
std::string OwnLoopbackAddress(int salt) {
  const int pid = ::getpid();
  return "127." + std::to_string(77 + salt) + "." + std::to_string((pid >> 8) & 255) + "." +
         std::to_string((pid & 255) | 1);
}

const char* const kColumns[] = {"1.3.6.1.2.1.4.22.1.1", "1.3.6.1.2.1.4.22.1.3",
                                "1.3.6.1.2.1.4.22.1.2", "1.3.6.1.2.1.4.22.1.4"};

// Walks the ARP table of address:161 as the collector does: four columns per
// get-next, the next request sent from the response handler with the row
// index just read, until binding 1 leaves the ifIndex column.
std::vector<ArpEntry> WalkArpTable(const std::string& address, const std::string& community) {
  SystemClock clock;
  EventLoop loop(clock);
  snmp::Manager manager(loop);
  manager.Open();
  manager.SetAgentAddress(address);
  manager.SetAgentPort(161);

  std::vector<ArpEntry> rows;
  int32_t request_id = 0;
  bool busy = true;
  const auto send = [&](const std::string& row_index) {
    snmp::Message& m = manager.message();
    m.Reset();
    m.pdu_type = snmp::pdu::kGetNextRequest;
    m.community = community;
    m.request_id = ++request_id;
    for (const char* column : kColumns) m.AddBinding(std::string(column) + row_index);
    manager.Send();
  };
  manager.SetResponseHandler([&] {
    const snmp::Message& reply = manager.message();
    if (reply.request_id != request_id) return;
    const std::string prefix = std::string(kColumns[0]) + ".";
    if (reply.error_status != 0 || reply.bindings.size() != 4 ||
        reply.bindings[0].oid.compare(0, prefix.size(), prefix) != 0) {
      busy = false;
      return;
    }
    for (const auto& b : reply.bindings) ASSERT_NE(b.type(), 0) << b.oid;
    ArpEntry row;
    row.if_index = std::stoi(reply.bindings[0].value);
    row.ip = reply.bindings[1].value;
    row.mac = reply.bindings[2].value;
    row.type = std::stoi(reply.bindings[3].value);
    rows.push_back(row);
    send("." + reply.bindings[0].value + "." + reply.bindings[1].value);
  });
  send("");
  const auto end = std::chrono::steady_clock::now() + 120s;
  while (busy && std::chrono::steady_clock::now() < end) loop.WaitMs(20);
  EXPECT_FALSE(busy) << "walk did not finish";
  return rows;
}

bool SameRows(const std::vector<ArpEntry>& a, const std::vector<ArpEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tie(a[i].if_index, a[i].ip, a[i].mac, a[i].type) !=
        std::tie(b[i].if_index, b[i].ip, b[i].mac, b[i].type))
      return false;
  return true;
}

TEST(SnmpAgentsTable, GeneratedRowsAreDistinctWithOneAddressOnTwoInterfaces) {
  const std::vector<ArpEntry> rows = MakeArpTable(300);
  ASSERT_EQ(rows.size(), 300u);
  std::set<std::pair<int32_t, std::string>> keys;
  std::set<std::string> macs;
  int static_rows = 0;
  for (const ArpEntry& r : rows) {
    keys.insert({r.if_index, r.ip});
    macs.insert(r.mac);
    EXPECT_EQ(r.mac.size(), 6u);
    static_rows += r.type == 4;
    EXPECT_TRUE(r.type == 3 || r.type == 4);
  }
  EXPECT_EQ(keys.size(), rows.size());
  EXPECT_EQ(macs.size(), rows.size());
  EXPECT_EQ(rows.back().ip, rows.front().ip);
  EXPECT_NE(rows.back().if_index, rows.front().if_index);
  EXPECT_GT(static_rows, 0);
  EXPECT_LT(static_rows, 300);
  EXPECT_EQ(rows[255].ip, "10.0.1.0");  // row 255 is number 256
}

TEST(SnmpAgentsTable, SnmprecListsEachColumnInOidOrder) {
  const std::vector<ArpEntry> rows = MakeArpTable(20000);
  const auto start = std::chrono::steady_clock::now();
  const std::string text = ArpTableSnmprec(rows);
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  std::printf("ArpTableSnmprec: 20000 rows, %zu bytes in %lld ms\n", text.size(),
              static_cast<long long>(took.count()));
  size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  EXPECT_EQ(lines, 4 * rows.size() + 2);
  // Walk order inside a column: ifIndex, then the address numerically
  // (10.0.0.9 before 10.0.0.10).
  const std::vector<ArpEntry> walk = InWalkOrder(rows);
  EXPECT_EQ(walk.front().if_index, 1);
  EXPECT_EQ(walk[0].ip, "10.0.0.1");
  EXPECT_EQ(walk[1].ip, "10.0.0.5");
  EXPECT_EQ(walk[2].ip, "10.0.0.9");
  EXPECT_EQ(walk[3].ip, "10.0.0.13");
  EXPECT_NE(text.find("1.3.6.1.2.1.4.22.1.2.1.10.0.0.1|4x|020000000001\n"), std::string::npos);
}

TEST(SnmpAgentsSimulated, ServesTheGeneratedTableOnPort161) {
  const std::vector<ArpEntry> table = MakeArpTable(40);
  const std::string address = OwnLoopbackAddress(0);
  SimulatedAgent agent({.address = address, .community = "router-7"}, table);
  EXPECT_EQ(agent.port(), 161);
  EXPECT_FALSE(AgentAnswers(address, 161, "public", 500ms)) << "answered another community";
  EXPECT_TRUE(SameRows(WalkArpTable(address, "router-7"), InWalkOrder(table)));
}

TEST(SnmpAgentsSimulated, StartsWithTwentyThousandRows) {
  const std::vector<ArpEntry> table = MakeArpTable(20000);
  const std::string address = OwnLoopbackAddress(1);
  const auto start = std::chrono::steady_clock::now();
  SimulatedAgent agent({.address = address}, table);
  std::printf("snmpsimd with 20000 rows answered after %lld ms\n",
              static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now() - start)
                                         .count()));
  // The last row is there: asking for the physical address after it leads
  // to the first row of the next column.
  const std::vector<ArpEntry> walk = InWalkOrder(table);
  const ArpEntry& first = walk.front();
  const ArpEntry& last = walk.back();
  SystemClock clock;
  EventLoop loop(clock);
  snmp::Manager manager(loop);
  manager.Open();
  manager.SetAgentAddress(address);
  manager.SetAgentPort(161);
  bool answered = false;
  manager.SetResponseHandler([&] { answered = true; });
  snmp::Message& m = manager.message();
  m.community = "public";
  m.request_id = 1;
  m.AddBinding("1.3.6.1.2.1.4.22.1.2." + std::to_string(last.if_index) + "." + last.ip);
  manager.Send();
  for (int i = 0; i < 250 && !answered; ++i) loop.WaitMs(20);
  ASSERT_TRUE(answered);
  EXPECT_EQ(manager.message().bindings.at(0).oid,
            "1.3.6.1.2.1.4.22.1.3." + std::to_string(first.if_index) + "." + first.ip);
}

TEST(SnmpAgentsSnmpd, AnswersItsCommunityAndStopsByPid) {
  const std::string address = OwnLoopbackAddress(2);
  SnmpdAgent agent({.address = address, .community = "vexa-ro"});
  EXPECT_EQ(agent.port(), 161);
  EXPECT_TRUE(AgentAnswers(address, 161, "vexa-ro", 2s));
  EXPECT_FALSE(AgentAnswers(address, 161, "public", 500ms));
  const pid_t pid = agent.pid();
  ASSERT_GT(pid, 0);
  agent.Stop();
  EXPECT_NE(::kill(pid, 0), 0) << "snmpd still runs";
  EXPECT_FALSE(AgentAnswers(address, 161, "vexa-ro", 300ms));
}

}  // namespace
}  // namespace vexa::test

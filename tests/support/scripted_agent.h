// A scripted SNMP agent for fault cases that no real agent produces on
// demand (lost replies, replies after a re-send, error statuses, values
// missing, agents that repeat themselves). It listens on a loopback address,
// port 161, and is served by the test's own event loop, so it runs on the
// simulated clock like the collector.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/event_loop.h"
#include "snmp/snmp_message.h"

namespace vexa::test {

struct TableRow {
  int if_index = 1;
  std::string ip;
  std::string mac;  // raw octets
  int type = 3;
  // Columns of ipNetToMediaTable (1 ifIndex, 2 PhysAddress, 3 NetAddress,
  // 4 Type) that the agent has no instance of for this row.
  std::vector<int> left_out{};
};

class ScriptedAgent {
 public:
  // Decides the replies to one request; the default answers from `rows`.
  using Script = std::function<std::vector<snmp::Message>(const snmp::Message& request)>;

  ScriptedAgent(EventLoop& loop, const std::string& address, int port = 161);
  ~ScriptedAgent();
  ScriptedAgent(const ScriptedAgent&) = delete;
  ScriptedAgent& operator=(const ScriptedAgent&) = delete;

  // The get-next (or GETBULK) answer of an agent serving `rows` (sorted by
  // index) as ipNetToMediaTable, the objects given to Serve(), and
  // 1.3.6.1.2.1.4.23.0 after the table; endOfMibView after everything.
  snmp::Message Answer(const snmp::Message& request) const;
  // One more object of the agent's MIB (of any other table), and none.
  void Serve(const std::string& oid, uint8_t syntax, const std::string& value);
  void ClearServed() { objects_.clear(); }
  // Sends a datagram to `to_port` on `to_address` from this agent's socket.
  void SendTo(const snmp::Message& m, const std::string& to_address, int to_port);

  std::vector<TableRow> rows;
  Script script;                        // empty: always Answer()
  std::vector<snmp::Message> requests;  // everything received
  std::string last_peer_address;
  int last_peer_port = 0;

 private:
  void OnReadable();
  void Reply(const snmp::Message& m);

  std::map<std::vector<uint32_t>, snmp::VarBind> objects_;
  EventLoop& loop_;
  int fd_ = -1;
  int watch_ = 0;
};

// Rows 10.0.<i/250>.<i%250+1>, ifIndex 1 + i % 3, MAC 00:11:22:33:<i>, type 3
// except every fifth row (4), sorted in walk order.
std::vector<TableRow> MakeRows(int count);

}  // namespace vexa::test

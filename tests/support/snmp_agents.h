// Real SNMP agents for tests, started on a loopback address and stopped by
// pid when the object goes:
//
//   SnmpdAgent      net-snmp's snmpd with a generated configuration; it serves
//                   this machine's own MIB-II (system group, ARP table, ...).
//   SimulatedAgent  snmpsim's snmpsimd serving a generated ARP table
//                   (ipNetToMediaTable) from an .snmprec file.
//
// Each simulated router of an integration test gets its own 127.x.y.z
// address and listens on port 161 there, as the collector always sends to
// port 161 (binding it needs root, which tests have). Both constructors
// return only once the agent answers an SNMPv2c request, and throw
// std::runtime_error (with the agent's log) when it does not within the
// start-up limit.
//
//   vexa::test::SimulatedAgent router({.address = "127.0.0.2"},
//                                     vexa::test::MakeArpTable(500));
//   ... walk 127.0.0.2:161 with community "public" ...
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/test_folder.h"

namespace vexa::test {

// One row of ipNetToMediaTable (RFC 1213), indexed by if_index and ip.
struct ArpEntry {
  int32_t if_index = 1;
  std::string ip;   // dotted IPv4
  std::string mac;  // raw octets, one char per octet (usually six)
  int type = 3;     // ipNetToMediaType: 3 dynamic, 4 static
};

// `count` rows with distinct, predictable contents. Row i (from 0) has the
// address 10.a.b.c where a.b.c is i + 1 in base 256, ifIndex 1 + i % 4, the
// MAC 02:00:xx:xx:xx:xx with i + 1 in the last four octets, and type 4
// (static) for every seventh row, 3 (dynamic) otherwise. When count >= 2 the
// last row instead repeats the first row's address on another interface
// (the same IP seen on two interfaces), with its own MAC.
std::vector<ArpEntry> MakeArpTable(size_t count);

// The rows in the order an agent walks them: by ifIndex, then by address.
std::vector<ArpEntry> InWalkOrder(std::vector<ArpEntry> rows);

// The .snmprec text serving `rows`: sysDescr, the four columns
// ipNetToMediaIfIndex (.1), PhysAddress (.2), NetAddress (.3), Type (.4) in
// OID order, then ipRoutingDiscards.0 so that a walk past the table gets an
// ordinary object, as from a real router.
std::string ArpTableSnmprec(const std::vector<ArpEntry>& rows);

// A UDP port that is free on `address` right now.
int FreeUdpPort(const std::string& address);

// Whether an SNMPv2c agent at address:port answers a get-next with
// `community` within `limit`.
bool AgentAnswers(const std::string& address, int port, const std::string& community,
                  std::chrono::milliseconds limit);

struct AgentOptions {
  std::string address = "127.0.0.1";  // a loopback address, IPv4 or "::1"
  int port = 161;
  std::string community = "public";
  std::chrono::milliseconds startup_limit = std::chrono::seconds(20);
  // snmpd: lines added to its configuration file, such as SNMPv3 users
  // ("createUser NAME SHA-256 PASSWORD AES-256 PASSWORD", "rouser NAME priv").
  std::string snmpd_config{};
  // snmpsimd: options given before its data directory, such as an SNMPv3
  // engine and user ("--v3-user=NAME", "--v3-auth-key=PASSWORD", ...). An
  // SNMPv3 context name selects the data file as a community does.
  std::vector<std::string> snmpsim_args{};
};

// A started agent process; stops it (SIGTERM, then SIGKILL) when destroyed.
class AgentProcess {
 public:
  AgentProcess(const AgentProcess&) = delete;
  AgentProcess& operator=(const AgentProcess&) = delete;
  ~AgentProcess();

  pid_t pid() const { return pid_; }
  const std::string& address() const { return options_.address; }
  int port() const { return options_.port; }
  const std::string& community() const { return options_.community; }
  std::string Log() const;
  // Stops the agent now; the destructor then does nothing.
  void Stop();

 protected:
  explicit AgentProcess(AgentOptions options) : options_(std::move(options)) {}
  // Starts argv with the given extra environment, output to the log file,
  // and waits until the agent answers.
  void Start(const std::vector<std::string>& argv, const std::vector<std::string>& env);
  // The command line and environment of the last Start().
  const std::vector<std::string>& StartedArgv() const { return argv_; }
  const std::vector<std::string>& StartedEnv() const { return env_; }
  const std::string& dir() const { return dir_.path(); }
  std::string LogPath() const { return dir_.path() + "/agent.log"; }

  AgentOptions options_;

 private:
  TempDir dir_;
  pid_t pid_ = -1;
  std::vector<std::string> argv_;
  std::vector<std::string> env_;
};

class SnmpdAgent : public AgentProcess {
 public:
  explicit SnmpdAgent(AgentOptions options = {});
  // Stops snmpd and starts it again on the same address and configuration.
  // With `keep_engine` it reads back the state it saved when it stopped, as
  // a rebooted router does: the same engine id, one boot more, its engine
  // time from 0. Without, it starts afresh with a new engine id.
  void Restart(bool keep_engine);
};

class SimulatedAgent : public AgentProcess {
 public:
  // The community names the data file, so it is limited to letters, digits,
  // '-', '_' and '.'.
  SimulatedAgent(AgentOptions options, const std::vector<ArpEntry>& rows);
  // Serves a ready-made .snmprec text.
  SimulatedAgent(AgentOptions options, const std::string& snmprec);
};

}  // namespace vexa::test

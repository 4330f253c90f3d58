// The manager over SNMPv3 against real agents on 127.0.12.x: snmpd with USM
// users and snmpsim's v3 engine, each walk compared with net-snmp's
// `snmpwalk -v3` of the same agent; refusals of wrong credentials; an snmpd
// reboot between walks; and a scripted peer for what no agent does on
// demand (a forged reply, a clock that cannot be synchronised).
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "snmp/manager.h"
#include "support/snmp_agents.h"
#include "support/test_folder.h"
#include "walk_driver.h"

namespace vexa::snmp {
namespace {

using namespace std::chrono_literals;
using Rows = std::vector<std::pair<std::string, std::string>>;  // OID, value text

constexpr const char* kAuthPass = "vexa-auth-pass";
constexpr const char* kPrivPass = "vexa-priv-pass";
constexpr const char* kSysOrTable = "1.3.6.1.2.1.1.9";

UsmUser User(std::string name, AuthProtocol auth, PrivProtocol priv, std::string context = "") {
  UsmUser user;
  user.name = std::move(name);
  user.auth = auth;
  user.auth_password = kAuthPass;
  user.priv = priv;
  user.priv_password = kPrivPass;
  user.context = std::move(context);
  return user;
}

Rows FirstColumn(const test::WalkResult& walk) {
  Rows rows;
  for (const auto& row : walk.rows) rows.emplace_back(row.at(0).oid, row.at(0).value);
  return rows;
}

// Octets of "Hex-STRING: 4C 69 6E" (continued over several lines).
std::string FromHex(const std::string& text) {
  std::string octets;
  for (size_t i = 0; i + 1 < text.size(); ++i)
    if (std::isxdigit(static_cast<unsigned char>(text[i])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1]))) {
      octets.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
      ++i;
    }
  return octets;
}

// `snmpwalk -v3` of the agent, rows in our text form. -On -Oe -Ot -Ox print
// numeric OIDs, enums and time ticks as numbers and every string in hex.
// net-snmp keeps its client state in the test's own folder.
Rows Snmpwalk(const std::string& agent, const UsmUser& user, const std::string& root) {
  test::TempDir state;
  std::vector<std::string> args = {"-v3", "-l",      std::string(LevelName(user.level())),
                                   "-u",  user.name, "-On",
                                   "-Oe", "-Ot",     "-Ox",
                                   "-t",  "2",       "-r",
                                   "1"};
  if (user.auth != AuthProtocol::kNone)
    args.insert(args.end(), {"-a", std::string(ProtocolName(user.auth)), "-A", kAuthPass});
  if (user.priv != PrivProtocol::kNone)
    args.insert(args.end(), {"-x", std::string(ProtocolName(user.priv)), "-X", kPrivPass});
  if (!user.context.empty()) args.insert(args.end(), {"-n", user.context});
  args.insert(args.end(), {agent, root});
  const test::RunResult run = test::Run("/usr/bin/snmpwalk", args,
                                        {{"SNMP_PERSISTENT_DIR", state.path() + "/client"},
                                         {"SNMPCONFPATH", state.path() + "/none"},
                                         {"MIBS", ""},
                                         {"MIBDIRS", state.path() + "/none"}});
  EXPECT_EQ(run.exit_status, 0) << run.err;
  Rows rows;
  size_t pos = 0;
  while (pos < run.out.size()) {
    size_t end = run.out.find('\n', pos);
    if (end == std::string::npos) end = run.out.size();
    const std::string line = run.out.substr(pos, end - pos);
    pos = end + 1;
    if (line.empty()) continue;
    if (line[0] != '.') {  // a hex string continued
      rows.back().second += " " + line;
      continue;
    }
    const size_t eq = line.find(" = ");
    rows.emplace_back(line.substr(1, eq - 1), line.substr(eq + 3));
  }
  Rows out;
  for (auto& [oid, value] : rows) {
    if (value.rfind("No more variables", 0) == 0) continue;
    const size_t colon = value.find(": ");
    const std::string type = colon == std::string::npos ? "" : value.substr(0, colon);
    std::string text = colon == std::string::npos ? value : value.substr(colon + 2);
    if (type == "Hex-STRING") text = FromHex(text);
    if (type == "OID") text = text.substr(1);
    if (text == "\"\"") text.clear();
    out.emplace_back(oid, text);
  }
  return out;
}

class SnmpV3Snmpd : public ::testing::Test {
 protected:
  static constexpr const char* kAddress = "127.0.12.1";

  static void SetUpTestSuite() {
    agent_ = new test::SnmpdAgent({.address = kAddress,
                                   .snmpd_config =
                                       "createUser vexaSha SHA vexa-auth-pass AES vexa-priv-pass\n"
                                       "createUser vexaSha256 SHA-256 vexa-auth-pass AES-256 "
                                       "vexa-priv-pass\n"
                                       "createUser vexaSha224 SHA-224 vexa-auth-pass AES-192 "
                                       "vexa-priv-pass\n"
                                       "createUser vexaMd5 MD5 vexa-auth-pass DES vexa-priv-pass\n"
                                       "createUser vexaAuth SHA-512 vexa-auth-pass\n"
                                       "createUser vexaNone\n"
                                       "rouser vexaSha priv\n"
                                       "rouser vexaSha256 priv\n"
                                       "rouser vexaSha224 priv\n"
                                       "rouser vexaMd5 priv\n"
                                       "rouser vexaAuth auth\n"
                                       "rouser vexaNone noauth\n"});
  }
  static void TearDownTestSuite() {
    delete agent_;
    agent_ = nullptr;
  }

  test::WalkResult WalkAs(const UsmUser& user, const std::string& root = kSysOrTable,
                          std::chrono::milliseconds timeout = 1000ms) {
    manager_.SetUsmUser(user);
    return test::Walk(loop_, manager_,
                      {.address = kAddress,
                       .columns = {root},
                       .version = Version::kV3,
                       .timeout = timeout,
                       .retries = 1});
  }

  SystemClock clock_;
  EventLoop loop_{clock_};
  Manager manager_{loop_};
  static test::SnmpdAgent* agent_;

  void SetUp() override { manager_.Open(); }
};

test::SnmpdAgent* SnmpV3Snmpd::agent_ = nullptr;

TEST_F(SnmpV3Snmpd, WalksAtEachSecurityLevelEqualSnmpwalk) {
  const UsmUser users[] = {
      User("vexaSha", AuthProtocol::kSha1, PrivProtocol::kAes128),
      User("vexaSha256", AuthProtocol::kSha256, PrivProtocol::kAes256),
      User("vexaSha224", AuthProtocol::kSha224, PrivProtocol::kAes192),
      User("vexaMd5", AuthProtocol::kMd5, PrivProtocol::kDes),
      User("vexaAuth", AuthProtocol::kSha512, PrivProtocol::kNone),
      User("vexaNone", AuthProtocol::kNone, PrivProtocol::kNone),
  };
  for (const UsmUser& user : users) {
    SCOPED_TRACE(user.Description());
    const test::WalkResult walk = WalkAs(user);
    EXPECT_FALSE(walk.refusal) << walk.refusal->Describe();
    EXPECT_FALSE(walk.timed_out);
    EXPECT_EQ(walk.resends, 0);
    const Rows ours = FirstColumn(walk);
    EXPECT_GE(ours.size(), 20u);
    EXPECT_EQ(ours, Snmpwalk(kAddress, user, kSysOrTable));
  }
}

TEST_F(SnmpV3Snmpd, WrongCredentialsEndTheWalkWithTheAgentsCause) {
  struct Case {
    UsmUser user;
    std::optional<ReportCause> cause;  // none: snmpd stays silent
  };
  UsmUser wrong_auth = User("vexaSha", AuthProtocol::kSha1, PrivProtocol::kAes128);
  wrong_auth.auth_password = "not-the-auth-pass";
  UsmUser wrong_priv = wrong_auth;
  wrong_priv.auth_password = kAuthPass;
  wrong_priv.priv_password = "not-the-priv-pass";
  const Case cases[] = {
      {wrong_auth, ReportCause::kWrongDigest},
      {User("nobodyHere", AuthProtocol::kSha1, PrivProtocol::kAes128),
       ReportCause::kUnknownUserName},
      {User("vexaAuth", AuthProtocol::kSha512, PrivProtocol::kAes128),
       ReportCause::kUnsupportedSecLevel},
      // snmpd drops a scoped PDU it cannot decrypt without a Report: the
      // walk ends by its time-out.
      {wrong_priv, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user.Description());
    const test::WalkResult walk = WalkAs(c.user, kSysOrTable, 300ms);
    EXPECT_TRUE(walk.rows.empty());
    ASSERT_EQ(walk.refusal.has_value(), c.cause.has_value());
    if (c.cause) {
      EXPECT_EQ(walk.refusal->cause, *c.cause) << walk.refusal->Describe();
      EXPECT_FALSE(walk.timed_out);
    } else {
      EXPECT_TRUE(walk.timed_out);
    }
  }
}

TEST(SnmpV3Reboot, AfterAnAgentRebootTheNextRequestReSyncsAndSucceeds) {
  const std::string address = "127.0.12.2";
  test::SnmpdAgent agent({.address = address,
                          .snmpd_config =
                              "createUser vexa SHA-256 vexa-auth-pass AES-256 vexa-priv-pass\n"
                              "rouser vexa priv\n"});
  const UsmUser user = User("vexa", AuthProtocol::kSha256, PrivProtocol::kAes256);
  SystemClock clock;
  EventLoop loop(clock);
  Manager manager(loop);
  manager.Open();
  manager.SetUsmUser(user);
  const test::WalkRequest request{
      .address = address, .columns = {kSysOrTable}, .version = Version::kV3, .retries = 0};
  const Rows before = FirstColumn(test::Walk(loop, manager, request));
  ASSERT_FALSE(before.empty());

  // Kept engine id: one boot more (a notInTimeWindow Report); a new engine
  // id (an unknownEngineID Report).
  for (const bool keep_engine : {true, false}) {
    SCOPED_TRACE(keep_engine ? "same engine id" : "new engine id");
    const EngineState old_engine = *manager.UsmEngine(address, 161);
    agent.Restart(keep_engine);
    const test::WalkResult walk = test::Walk(loop, manager, request);
    EXPECT_FALSE(walk.refusal) << walk.refusal->Describe();
    EXPECT_FALSE(walk.timed_out);
    EXPECT_EQ(walk.rows.size(), before.size());
    const EngineState& engine = *manager.UsmEngine(address, 161);
    if (keep_engine) {
      EXPECT_EQ(engine.id, old_engine.id);
      EXPECT_EQ(engine.boots, old_engine.boots + 1);
    } else {
      EXPECT_NE(engine.id, old_engine.id);
    }
    EXPECT_EQ(FirstColumn(walk), Snmpwalk(address, user, kSysOrTable));
  }
}

TEST(SnmpV3Snmpsim, ArpTableWalksEqualSnmpwalk) {
  // snmpsim's engine offers both key extensions for AES-192/256; "BLMT" is
  // the one net-snmp uses. The context name selects the data file.
  const std::string address = "127.0.12.3";
  test::SimulatedAgent agent(
      {.address = address,
       .snmpsim_args = {"--v3-engine-id=800007e580a1b2c3d4e5f6", "--v3-user=vexa256",
                        "--v3-auth-key=vexa-auth-pass", "--v3-auth-proto=SHA256",
                        "--v3-priv-key=vexa-priv-pass", "--v3-priv-proto=AES256BLMT",
                        "--v3-user=vexa192", "--v3-auth-key=vexa-auth-pass", "--v3-auth-proto=SHA",
                        "--v3-priv-key=vexa-priv-pass", "--v3-priv-proto=AES192BLMT"}},
      test::MakeArpTable(30));
  SystemClock clock;
  EventLoop loop(clock);
  Manager manager(loop);
  manager.Open();
  const UsmUser users[] = {
      User("vexa256", AuthProtocol::kSha256, PrivProtocol::kAes256, "public"),
      User("vexa192", AuthProtocol::kSha1, PrivProtocol::kAes192, "public"),
  };
  for (const UsmUser& user : users) {
    SCOPED_TRACE(user.Description());
    manager.SetUsmUser(user);
    const test::WalkResult walk = test::Walk(
        loop, manager,
        {.address = address, .columns = {"1.3.6.1.2.1.4.22.1"}, .version = Version::kV3});
    EXPECT_FALSE(walk.refusal) << walk.refusal->Describe();
    EXPECT_EQ(walk.rows.size(), 4u * 30);
    EXPECT_EQ(FirstColumn(walk), Snmpwalk(address, user, "1.3.6.1.2.1.4.22.1"));
  }
}

// ---------------------------------------------------------------------------
// A scripted agent: a UDP socket of the test that answers with messages made
// by the layer's own encoder.

class ScriptedV3Agent {
 public:
  ScriptedV3Agent() {
    ParseNumericEndpoint("127.0.12.4", 0, address_);
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::bind(fd_, address_.addr(), address_.length), 0);
    address_.length = sizeof address_.storage;
    ::getsockname(fd_, address_.addr(), &address_.length);
  }
  ~ScriptedV3Agent() { ::close(fd_); }
  int port() const { return PortOf(address_.addr()); }

  // Runs the manager's loop until a datagram waits here, `limit` at most.
  bool PumpUntilReadable(EventLoop& loop, std::chrono::milliseconds limit = 2s) {
    for (int i = 0; i < limit.count() / 10; ++i) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 0) == 1) return true;
      loop.WaitMs(10);
    }
    return false;
  }

  // The next datagram within `limit`, decoded; false when none came.
  bool Receive(V3Message& framing, std::chrono::milliseconds limit = 2s) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(limit.count())) != 1) return false;
    last_.resize(65536);
    peer_.length = sizeof peer_.storage;
    const ssize_t n = ::recvfrom(fd_, last_.data(), last_.size(), 0, peer_.addr(), &peer_.length);
    last_.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return DecodeV3Message(last_, framing) == CodecStatus::kOk;
  }
  const std::vector<uint8_t>& last() const { return last_; }

  // Sends a reply carrying `pdu`, signed with `keys` when given.
  void Reply(int32_t msg_id, const UsmParameters& usm, const Message& pdu,
             const LocalizedKeys* keys) {
    std::vector<uint8_t> scoped, datagram;
    ASSERT_EQ(EncodeScopedPdu({usm.engine_id, ""}, pdu, scoped), CodecStatus::kOk);
    UsmParameters params = usm;
    if (keys != nullptr) params.auth_params.assign(MacLength(keys->auth()), '\0');
    size_t auth_offset = 0;
    ASSERT_EQ(EncodeV3Message(msg_id, 65507, keys != nullptr ? msg_flag::kAuth : 0, params, scoped,
                              false, datagram, auth_offset),
              CodecStatus::kOk);
    if (keys != nullptr) keys->Sign(datagram, auth_offset);
    ::sendto(fd_, datagram.data(), datagram.size(), 0, peer_.addr(), peer_.length);
  }

 private:
  int fd_ = -1;
  Endpoint address_;
  Endpoint peer_;
  std::vector<uint8_t> last_;
};

Message Pdu(uint8_t type, int32_t request_id, const char* oid, uint8_t syntax, const char* value) {
  Message m;
  m.version = Version::kV3;
  m.pdu_type = type;
  m.request_id = request_id;
  VarBind& b = m.AddBinding(oid);
  b.syntax = syntax;
  b.value = value;
  return m;
}

TEST(SnmpV3Scripted, ForgedRepliesAreDroppedAndAReSyncIsTriedOnce) {
  ScriptedV3Agent agent;
  SystemClock clock;
  EventLoop loop(clock);
  Manager manager(loop);
  manager.Open();
  const UsmUser user = User("vexa", AuthProtocol::kSha1, PrivProtocol::kAes128);
  manager.SetUsmUser(user);
  int responses = 0;
  std::vector<Refusal> refusals;
  manager.SetResponseHandler([&] { ++responses; });
  manager.SetRefusalHandler([&](const Refusal& r) { refusals.push_back(r); });
  manager.SetAgentAddress("127.0.12.4");
  manager.SetAgentPort(agent.port());
  Message& request = manager.message();
  request.Reset();
  request.version = Version::kV3;
  request.request_id = 41;
  request.AddBinding("1.3.6.1.2.1.1");
  manager.Send();

  // The probe: noAuthNoPriv, no engine, no user, an empty get.
  V3Message in;
  ASSERT_TRUE(agent.Receive(in));
  EXPECT_EQ(in.flags, msg_flag::kReportable);
  EXPECT_TRUE(in.usm.engine_id.empty() && in.usm.user_name.empty());
  const UsmParameters engine{.engine_id = std::string("\x80\x00\x1f\x88\x04vexa", 9),
                             .engine_boots = 5,
                             .engine_time = 1000};
  const char* const kNotInTimeWindows = "1.3.6.1.6.3.15.1.1.2.0";
  agent.Reply(in.msg_id, engine,
              Pdu(pdu::kReport, 41, "1.3.6.1.6.3.15.1.1.4.0", syntax::kCounter32, "1"), nullptr);

  // The held request, now for the engine, encrypted and signed.
  const crypto::Bytes auth_ku = PasswordToKey(user.auth, kAuthPass);
  const crypto::Bytes priv_ku = PasswordToKey(user.auth, kPrivPass);
  const LocalizedKeys keys(user.auth, auth_ku, user.priv, priv_ku,
                           std::vector<uint8_t>(engine.engine_id.begin(), engine.engine_id.end()));
  ASSERT_TRUE(agent.PumpUntilReadable(loop));
  ASSERT_TRUE(agent.Receive(in));
  EXPECT_EQ(in.flags, msg_flag::kAuth | msg_flag::kPriv | msg_flag::kReportable);
  EXPECT_EQ(in.usm.engine_boots, 5);
  EXPECT_GE(in.usm.engine_time, 1000);
  EXPECT_EQ(in.usm.user_name, "vexa");
  EXPECT_TRUE(keys.Verify(agent.last(), in.auth_offset));

  // A reply signed under another key for the user is not trusted, and one
  // alone does not end the request: it goes out again at once.
  const LocalizedKeys other_keys(
      user.auth, PasswordToKey(user.auth, "another-auth-pass"), user.priv, priv_ku,
      std::vector<uint8_t>(engine.engine_id.begin(), engine.engine_id.end()));
  UsmParameters for_user = engine;
  for_user.user_name = "vexa";
  const int32_t first_msg_id = in.msg_id;
  agent.Reply(in.msg_id, for_user,
              Pdu(pdu::kResponse, 41, "1.3.6.1.2.1.1.1.0", syntax::kOctetString, "forged"),
              &other_keys);
  ASSERT_TRUE(agent.PumpUntilReadable(loop));
  ASSERT_TRUE(agent.Receive(in));
  EXPECT_NE(in.msg_id, first_msg_id);
  EXPECT_TRUE(keys.Verify(agent.last(), in.auth_offset));

  // A response that does not authenticate is not the agent's.
  agent.Reply(in.msg_id, engine,
              Pdu(pdu::kResponse, 41, "1.3.6.1.2.1.1.1.0", syntax::kOctetString, "forged"),
              nullptr);
  // An authentic notInTimeWindow Report: re-sync to boots 6 and send again.
  UsmParameters rebooted = engine;
  rebooted.engine_boots = 6;
  rebooted.engine_time = 10;
  rebooted.user_name = "vexa";
  agent.Reply(in.msg_id, rebooted,
              Pdu(pdu::kReport, 41, kNotInTimeWindows, syntax::kCounter32, "1"), &keys);
  ASSERT_TRUE(agent.PumpUntilReadable(loop));
  ASSERT_TRUE(agent.Receive(in));
  EXPECT_EQ(in.usm.engine_boots, 6);
  EXPECT_GE(in.usm.engine_time, 10);
  EXPECT_LT(in.usm.engine_time, 100);

  // A second one: the request is refused, and nothing more goes out.
  agent.Reply(in.msg_id, rebooted,
              Pdu(pdu::kReport, 41, kNotInTimeWindows, syntax::kCounter32, "2"), &keys);
  EXPECT_FALSE(agent.PumpUntilReadable(loop, 300ms));
  ASSERT_EQ(refusals.size(), 1u);
  EXPECT_EQ(refusals[0].cause, ReportCause::kNotInTimeWindow);
  EXPECT_EQ(responses, 0);
  EXPECT_GE(manager.DatagramsDropped(), 1u);
  EXPECT_EQ(manager.UsmUserDescription(), "vexa authPriv SHA/AES");
}

}  // namespace
}  // namespace vexa::snmp

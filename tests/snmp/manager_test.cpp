// The manager endpoint against real agents on loopback: net-snmp's snmpd for
// round trips, and plain UDP sockets of the test where a peer has to do what
// no agent does on demand (answer from the wrong port or address, send
// garbage, send several datagrams at once).
#include "snmp/manager.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/event_loop.h"
#include "support/snmp_agents.h"

namespace vexa::snmp {
namespace {

using namespace std::chrono_literals;

// Runs the loop in 20 ms waits until `done` holds or `limit` passes.
template <typename F>
bool PumpUntil(EventLoop& loop, F done, std::chrono::milliseconds limit = 5s) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    loop.WaitMs(20);
  }
  return true;
}

// Sets an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A UDP socket of the test on a loopback address, standing in for a peer.
class FakePeer {
 public:
  explicit FakePeer(const std::string& address, int port = 0) {
    Endpoint local;
    EXPECT_TRUE(ParseNumericEndpoint(address, static_cast<uint16_t>(port), local));
    fd_ = ::socket(local.family(), SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    EXPECT_EQ(::bind(fd_, local.addr(), local.length), 0) << address << ":" << port;
    Endpoint bound;
    bound.length = sizeof bound.storage;
    ::getsockname(fd_, bound.addr(), &bound.length);
    port_ = PortOf(bound.addr());
  }
  ~FakePeer() { ::close(fd_); }
  int port() const { return port_; }

  // Waits for one datagram; returns it and where it came from.
  std::vector<uint8_t> Receive(Endpoint& from) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return {};
    std::vector<uint8_t> buffer(65536);
    from.length = sizeof from.storage;
    const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, from.addr(), &from.length);
    buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buffer;
  }
  void SendTo(const Endpoint& to, const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(::sendto(fd_, bytes.data(), bytes.size(), 0, to.addr(), to.length),
              static_cast<ssize_t>(bytes.size()));
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A response to `request` with one OCTET STRING binding carrying `text`.
std::vector<uint8_t> ResponseTo(const std::vector<uint8_t>& request, const std::string& text,
                                int32_t request_id) {
  Message m;
  EXPECT_EQ(DecodeMessage(request, m), CodecStatus::kOk);
  m.pdu_type = pdu::kResponse;
  m.request_id = request_id;
  m.bindings.resize(1);
  m.bindings[0].syntax = syntax::kOctetString;
  m.bindings[0].value = text;
  std::vector<uint8_t> out;
  EXPECT_EQ(EncodeMessage(m, out), CodecStatus::kOk);
  return out;
}

void BuildGetNext(Message& m, int32_t id, const std::string& oid,
                  const std::string& community = "public") {
  m.Reset();
  m.pdu_type = pdu::kGetNextRequest;
  m.community = community;
  m.request_id = id;
  m.AddBinding(oid);
}

int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.number();
  }
  return 0;
}

class SnmpManagerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    agent_ = new test::SnmpdAgent({.address = "127.0.0.1", .port = test::FreeUdpPort("127.0.0.1")});
  }
  static void TearDownTestSuite() {
    delete agent_;
    agent_ = nullptr;
  }

  SystemClock clock_;
  EventLoop loop_{clock_};
  static test::SnmpdAgent* agent_;
};

test::SnmpdAgent* SnmpManagerTest::agent_ = nullptr;

TEST_F(SnmpManagerTest, GetNextRoundTripWithSnmpd) {
  Manager manager(loop_);
  manager.SetLocalPort(0);
  manager.Open();
  EXPECT_EQ(manager.LocalAddress(), "::");
  EXPECT_GT(manager.LocalPort(), 0);

  int responses = 0;
  manager.SetResponseHandler([&] { ++responses; });
  manager.SetAgentAddress("127.0.0.1");
  manager.SetAgentPort(agent_->port());
  BuildGetNext(manager.message(), 7, "1.3.6.1.2.1.1.1");  // sysDescr
  manager.Send();
  ASSERT_TRUE(PumpUntil(loop_, [&] { return responses > 0; }));

  const Message& reply = manager.message();
  EXPECT_EQ(responses, 1);
  EXPECT_EQ(reply.pdu_type, pdu::kResponse);
  EXPECT_EQ(reply.request_id, 7);
  EXPECT_EQ(reply.community, "public");
  EXPECT_EQ(reply.error_status, 0);
  ASSERT_EQ(reply.bindings.size(), 1u);
  EXPECT_EQ(reply.bindings[0].oid, "1.3.6.1.2.1.1.1.0");
  EXPECT_EQ(reply.bindings[0].type(), syntax::kOctetString);
  EXPECT_NE(reply.bindings[0].value.find("Linux"), std::string::npos) << reply.bindings[0].value;
  EXPECT_EQ(manager.DatagramsDropped(), 0u);
}

TEST_F(SnmpManagerTest, HandlerChainsTheNextRequestLikeAWalk) {
  // Each response sends the request for the object after it, from inside the
  // handler, until 25 objects have been read.
  Manager manager(loop_);
  manager.Open();
  manager.SetAgentAddress("127.0.0.1");
  manager.SetAgentPort(agent_->port());
  std::vector<std::string> oids;
  int32_t id = 100;
  manager.SetResponseHandler([&] {
    const Message& reply = manager.message();
    ASSERT_EQ(reply.request_id, id);
    ASSERT_EQ(reply.bindings.size(), 1u);
    oids.push_back(reply.bindings[0].oid);
    if (oids.size() < 25) {
      const std::string next = reply.bindings[0].oid;
      BuildGetNext(manager.message(), ++id, next);
      manager.Send();
    }
  });
  BuildGetNext(manager.message(), id, "1.3.6.1.2.1.1");
  manager.Send();
  ASSERT_TRUE(PumpUntil(loop_, [&] { return oids.size() == 25; }));
  EXPECT_EQ(manager.ResponsesAccepted(), 25u);
  EXPECT_EQ(oids.front(), "1.3.6.1.2.1.1.1.0");
  for (size_t i = 1; i < oids.size(); ++i) EXPECT_NE(oids[i], oids[i - 1]);
}

TEST_F(SnmpManagerTest, IpV4MappedAgentAddressIsTheSameAgent) {
  Manager manager(loop_);
  manager.Open();
  int responses = 0;
  manager.SetResponseHandler([&] { ++responses; });
  manager.SetAgentAddress("::ffff:127.0.0.1");
  manager.SetAgentPort(agent_->port());
  BuildGetNext(manager.message(), 9, "1.3.6.1.2.1.1.5");
  manager.Send();
  ASSERT_TRUE(PumpUntil(loop_, [&] { return responses == 1; }));
  EXPECT_EQ(manager.message().bindings.at(0).oid, "1.3.6.1.2.1.1.5.0");
}

TEST_F(SnmpManagerTest, WrongCommunityGetsNoResponse) {
  Manager manager(loop_);
  manager.Open();
  int responses = 0;
  manager.SetResponseHandler([&] { ++responses; });
  manager.SetAgentAddress("127.0.0.1");
  manager.SetAgentPort(agent_->port());
  BuildGetNext(manager.message(), 1, "1.3.6.1.2.1.1", "not-the-community");
  manager.Send();
  EXPECT_FALSE(PumpUntil(
      loop_, [&] { return responses > 0; }, 600ms));
}

TEST(SnmpManager, IpV6AgentRoundTrip) {
  test::SnmpdAgent agent({.address = "::1", .port = test::FreeUdpPort("::1")});
  SystemClock clock;
  EventLoop loop(clock);
  Manager manager(loop);
  manager.Open();
  int responses = 0;
  manager.SetResponseHandler([&] { ++responses; });
  manager.SetAgentAddress("::1");
  manager.SetAgentPort(agent.port());
  BuildGetNext(manager.message(), 3, "1.3.6.1.2.1.1.1");
  manager.Send();
  ASSERT_TRUE(PumpUntil(loop, [&] { return responses == 1; }));
  EXPECT_EQ(manager.message().request_id, 3);
  EXPECT_EQ(manager.message().bindings.at(0).oid, "1.3.6.1.2.1.1.1.0");
}

class SnmpManagerPeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    manager_.Open();
    manager_.SetResponseHandler(
        [this] { texts_.push_back(manager_.message().bindings.at(0).value); });
    manager_.SetAgentAddress("127.0.0.1");
    manager_.SetAgentPort(agent_.port());
    BuildGetNext(manager_.message(), 42, "1.3.6.1.2.1.1.1");
    manager_.Send();
    request_ = agent_.Receive(manager_address_);
    ASSERT_FALSE(request_.empty());
  }

  // Sends `bytes` from `peer` and pumps until the manager has dealt with it.
  void Deliver(FakePeer& peer, const std::vector<uint8_t>& bytes) {
    const uint64_t seen = manager_.ResponsesAccepted() + manager_.DatagramsDropped();
    peer.SendTo(manager_address_, bytes);
    ASSERT_TRUE(PumpUntil(
        loop_, [&] { return manager_.ResponsesAccepted() + manager_.DatagramsDropped() > seen; }));
  }

  SystemClock clock_;
  EventLoop loop_{clock_};
  Manager manager_{loop_};
  FakePeer agent_{"127.0.0.1"};
  Endpoint manager_address_;
  std::vector<uint8_t> request_;
  std::vector<std::string> texts_;
};

TEST_F(SnmpManagerPeerTest, RequestCarriesTheMessage) {
  Message sent;
  ASSERT_EQ(DecodeMessage(request_, sent), CodecStatus::kOk);
  EXPECT_EQ(sent.version, Version::kV2c);
  EXPECT_EQ(sent.pdu_type, pdu::kGetNextRequest);
  EXPECT_EQ(sent.community, "public");
  EXPECT_EQ(sent.request_id, 42);
  ASSERT_EQ(sent.bindings.size(), 1u);
  EXPECT_EQ(sent.bindings[0].oid, "1.3.6.1.2.1.1.1");
  EXPECT_EQ(sent.bindings[0].type(), 0);
}

TEST_F(SnmpManagerPeerTest, ReplyFromAnotherPortOrAddressIsDropped) {
  FakePeer other_port("127.0.0.1");
  Deliver(other_port, ResponseTo(request_, "from another port", 42));
  FakePeer other_address("127.0.0.2", agent_.port());
  Deliver(other_address, ResponseTo(request_, "from another address", 42));
  EXPECT_TRUE(texts_.empty());
  EXPECT_EQ(manager_.DatagramsDropped(), 2u);
  // The message object still holds the request, untouched.
  EXPECT_EQ(manager_.message().pdu_type, pdu::kGetNextRequest);
  EXPECT_EQ(manager_.message().bindings.at(0).oid, "1.3.6.1.2.1.1.1");

  Deliver(agent_, ResponseTo(request_, "from the agent", 42));
  ASSERT_EQ(texts_.size(), 1u);
  EXPECT_EQ(texts_[0], "from the agent");
}

TEST_F(SnmpManagerPeerTest, OnlyWholeResponsePdusAreAccepted) {
  Deliver(agent_, {0x30, 0x03, 0x02, 0x01});  // truncated
  std::vector<uint8_t> trailing = ResponseTo(request_, "trailing", 42);
  trailing.push_back(0);
  Deliver(agent_, trailing);
  Deliver(agent_, request_);  // a get-next PDU, not a response
  EXPECT_TRUE(texts_.empty());
  EXPECT_EQ(manager_.DatagramsDropped(), 3u);
  EXPECT_EQ(manager_.message().pdu_type, pdu::kGetNextRequest);
}

TEST_F(SnmpManagerPeerTest, QueuedDatagramsAreAllHandledInOrder) {
  // Three datagrams queued before the loop looks: garbage, then two
  // responses. Both responses are raised, each with its own content.
  agent_.SendTo(manager_address_, {0xFF, 0xFF});
  agent_.SendTo(manager_address_, ResponseTo(request_, "first", 42));
  agent_.SendTo(manager_address_, ResponseTo(request_, "second", 43));
  std::vector<int32_t> ids;
  manager_.SetResponseHandler([&] {
    ids.push_back(manager_.message().request_id);
    texts_.push_back(manager_.message().bindings.at(0).value);
  });
  ::usleep(50000);  // let all three arrive before the first readable event
  ASSERT_TRUE(PumpUntil(loop_, [&] { return texts_.size() == 2; }));
  EXPECT_EQ(texts_, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(ids, (std::vector<int32_t>{42, 43}));
  EXPECT_EQ(manager_.DatagramsDropped(), 1u);
}

TEST_F(SnmpManagerPeerTest, AfterSendingElsewhereTheOldAgentIsIgnored) {
  FakePeer second("127.0.0.1");
  manager_.SetAgentPort(second.port());
  BuildGetNext(manager_.message(), 43, "1.3.6.1.2.1.1.1");
  manager_.Send();
  Endpoint from;
  ASSERT_FALSE(second.Receive(from).empty());

  Deliver(agent_, ResponseTo(request_, "late reply from the first agent", 42));
  EXPECT_TRUE(texts_.empty());
  Deliver(second, ResponseTo(request_, "second agent", 43));
  EXPECT_EQ(texts_, std::vector<std::string>{"second agent"});
}

TEST(SnmpManagerErrors, PortInUseIs10048) {
  SystemClock clock;
  EventLoop loop(clock);
  Manager first(loop);
  first.Open();
  Manager second(loop);
  second.SetLocalPort(first.LocalPort());
  try {
    second.Open();
    FAIL() << "opened a port that is in use";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrorPortInUse);
    EXPECT_NE(std::string(e.what()).find(std::to_string(first.LocalPort())), std::string::npos)
        << e.what();
  }
  EXPECT_FALSE(second.IsOpen());

  // Pinned to one address, a port taken on that address is in use too.
  FakePeer taken("127.0.0.1");
  const std::string spec = "127.0.0.1:" + std::to_string(taken.port());
  ScopedEnv bind("VEXAARP_SNMP_BIND", spec.c_str());
  Manager third(loop);
  EXPECT_EQ(ErrorNumberOf([&] { third.Open(); }), kErrorPortInUse);
}

TEST(SnmpManagerErrors, AddressNotOnThisMachineIs10049) {
  SystemClock clock;
  EventLoop loop(clock);
  for (const char* spec : {"192.0.2.1:0", "192.0.2.1", "[2001:db8::1]:0", "router.example"}) {
    ScopedEnv bind("VEXAARP_SNMP_BIND", spec);
    Manager manager(loop);
    EXPECT_EQ(ErrorNumberOf([&] { manager.Open(); }), kErrorAddressNotAvailable) << spec;
    EXPECT_FALSE(manager.IsOpen());
  }
  ScopedEnv bad_port("VEXAARP_SNMP_BIND", "127.0.0.1:70000");
  Manager manager(loop);
  EXPECT_EQ(ErrorNumberOf([&] { manager.Open(); }), EINVAL);
}

TEST(SnmpManagerErrors, BindVariablePinsAddressAndPort) {
  SystemClock clock;
  EventLoop loop(clock);
  const int port = test::FreeUdpPort("127.0.0.1");
  {
    const std::string spec = "127.0.0.1:" + std::to_string(port);
    ScopedEnv bind("VEXAARP_SNMP_BIND", spec.c_str());
    Manager manager(loop);
    manager.SetLocalPort(1);  // the variable's port wins
    manager.Open();
    EXPECT_EQ(manager.LocalAddress(), "127.0.0.1");
    EXPECT_EQ(manager.LocalPort(), port);
  }
  {
    ScopedEnv bind("VEXAARP_SNMP_BIND", "::1");
    Manager manager(loop);
    manager.SetLocalPort(port);  // no port in the variable: the option's
    manager.Open();
    EXPECT_EQ(manager.LocalAddress(), "::1");
    EXPECT_EQ(manager.LocalPort(), port);
    // An IPv6-only socket cannot reach an IPv4 agent.
    manager.SetAgentAddress("127.0.0.1");
    BuildGetNext(manager.message(), 1, "1.3.6.1");
    EXPECT_EQ(ErrorNumberOf([&] { manager.Send(); }), EAFNOSUPPORT);
  }
}

TEST(SnmpManagerErrors, SendFailuresCarryNumberAndDescription) {
  SystemClock clock;
  EventLoop loop(clock);
  Manager manager(loop);
  BuildGetNext(manager.message(), 1, "1.3.6.1");
  manager.SetAgentAddress("127.0.0.1");
  EXPECT_EQ(ErrorNumberOf([&] { manager.Send(); }), ENOTCONN);
  EXPECT_EQ(ErrorNumberOf([&] { manager.LocalPort(); }), ENOTCONN);

  manager.Open();
  EXPECT_EQ(ErrorNumberOf([&] { manager.Open(); }), EISCONN);
  for (const char* address : {"router1", "", "10.0.0", "127.1", "[::1]", "10.0.0.1 "}) {
    manager.SetAgentAddress(address);
    try {
      manager.Send();
      ADD_FAILURE() << "sent to '" << address << "'";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), EINVAL);
      EXPECT_NE(std::string(e.what()).find(std::string("'") + address + "'"), std::string::npos)
          << e.what();
    }
  }
  manager.SetAgentAddress("127.0.0.1");
  manager.SetAgentPort(0);
  EXPECT_EQ(ErrorNumberOf([&] { manager.Send(); }), EINVAL);
  manager.SetAgentPort(161);
  manager.message().bindings[0].oid = "1.3.6.one";
  try {
    manager.Send();
    ADD_FAILURE() << "sent a bad object identifier";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), EINVAL);
    EXPECT_NE(std::string(e.what()).find("object identifier"), std::string::npos) << e.what();
  }
}

TEST(SnmpManagerErrors, ClosedEndpointStopsWatching) {
  SystemClock clock;
  EventLoop loop(clock);
  auto manager = std::make_unique<Manager>(loop);
  manager->Open();
  const int port = manager->LocalPort();
  manager->Close();
  EXPECT_FALSE(manager->IsOpen());
  // The port is free again and the loop runs on without the closed socket.
  Manager again(loop);
  again.SetLocalPort(port);
  EXPECT_NO_THROW(again.Open());
  manager.reset();
  loop.WaitMs(20);
}

}  // namespace
}  // namespace vexa::snmp

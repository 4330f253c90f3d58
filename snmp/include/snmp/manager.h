// The SNMP manager endpoint: one non-blocking UDP socket for IPv4 and IPv6
// agents, served by the event loop, and the one message object through which
// requests go out and responses come back.
//
// A received datagram is taken as a response only when it comes from exactly
// the address and port the last request went to and decodes completely as a
// Response PDU; anything else is dropped without a word. An accepted response
// replaces the message object's contents, then the response handler runs
// (from the event loop, so only inside EventLoop::WaitMs() or Run()). The
// handler may send the next request at once.
//
// SNMPv3: a request whose message version is kV3 goes out with USM for the
// user given to SetUsmUser(), everything else about it as for v2c. Engine
// discovery and time synchronisation happen inside (usm_client.h): while
// the agent's engine is being discovered the request waits in message(), and
// a resend after an unknownEngineID or notInTimeWindow Report is the layer's
// own, not one of the caller's retries. The response handler then gets the
// decrypted response in message() as for v2c (version kV3, no community).
// When the agent refuses the request (unknownUserName, wrongDigest,
// decryptionError, unsupportedSecLevel, ...), or its answers to the request
// and to the layer's resend of it both fail authentication under our key
// (kAuthenticationFailure), the refusal handler runs instead of the response
// handler. The engines learnt are kept per agent address and port for the
// life of the manager.
//
// Every failing operation throws vexa::snmp::Error, which carries a number
// and a description: 10048 when the local port is in use, 10049 when the
// local address is not available or not an address, an errno value otherwise.
//
// The local address: by default a dual-stack socket on all addresses (IPv6
// "::" with IPV6_V6ONLY off, so IPv4 agents are reached as ::ffff:a.b.c.d;
// plain IPv4 "0.0.0.0" where the kernel has no IPv6) and the port given by
// SetLocalPort (0: any free port). The environment variable VEXAARP_SNMP_BIND
// pins the local address, and optionally the port, when it is set:
// "127.0.0.1", "127.0.0.1:16100", "::1", "[::1]:0". Its port, when given,
// wins over SetLocalPort. A socket pinned to an IPv4 address reaches only
// IPv4 agents, one pinned to an IPv6 address other than "::" only IPv6 agents.
//
// Usage:
//
//   vexa::snmp::Manager manager(loop);
//   manager.SetLocalPort(0);
//   manager.Open();  // may throw Error{10048, ...}
//   manager.SetResponseHandler([&] {
//     const vexa::snmp::Message& reply = manager.message();
//     // reply.request_id, reply.error_status, reply.bindings[i].oid,
//     // reply.bindings[i].type() (0: no value), reply.bindings[i].value
//   });
//
//   manager.SetAgentAddress("10.0.0.1");
//   manager.SetAgentPort(161);
//   vexa::snmp::Message& request = manager.message();
//   request.Reset();
//   request.pdu_type = vexa::snmp::pdu::kGetNextRequest;
//   request.community = "public";
//   request.request_id = 1;
//   request.AddBinding("1.3.6.1.2.1.4.22.1.1");
//   manager.Send();   // returns at once
//   loop.WaitMs(20);  // the handler runs in here when the reply comes
//
// The same walk over SNMPv3: give the user once, set the version per request.
//
//   manager.SetUsmUser({.name = "vexa", .auth = vexa::snmp::AuthProtocol::kSha256,
//                       .auth_password = "...", .priv = vexa::snmp::PrivProtocol::kAes256,
//                       .priv_password = "..."});  // may throw Error{EINVAL, ...}
//   manager.SetRefusalHandler([&](const vexa::snmp::Refusal& refusal) {
//     // end the walk: "... refused by <router>: " + refusal.Describe()
//   });
//   request.Reset();
//   request.version = vexa::snmp::Version::kV3;  // no community
//   ...                                          // as above
//   trace(manager.UsmUserDescription());         // "vexa authPriv SHA-256/AES-256"
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_loop.h"
#include "snmp/snmp_message.h"
#include "snmp/socket_address.h"
#include "snmp/usm_client.h"
#include "snmp/usm_user.h"

namespace vexa::snmp {

// The numbers of the two open failures that the collector reports in words.
inline constexpr int kErrorPortInUse = 10048;
inline constexpr int kErrorAddressNotAvailable = 10049;

class Error : public std::runtime_error {
 public:
  Error(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int number() const { return number_; }

 private:
  int number_;
};

class Manager {
 public:
  explicit Manager(EventLoop& loop);
  ~Manager();
  Manager(const Manager&) = delete;
  Manager& operator=(const Manager&) = delete;

  // The option given before the open: the local UDP port, 0 for any.
  // Takes effect at the next Open().
  void SetLocalPort(int port);
  // Lets SetLocalPort win over a port pinned by VEXAARP_SNMP_BIND (whose
  // address still holds): for endpoints beside one that has that port.
  void SetIgnorePinnedPort(bool ignore) { any_port_ = ignore; }

  // Binds the socket and starts watching it. Throws Error.
  void Open();
  // Stops watching and closes the socket; harmless when not open.
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // The bound address as text ("::" for the dual-stack default) and port.
  // Throw Error when not open.
  std::string LocalAddress() const;
  int LocalPort() const;

  // Where the next Send() goes. The address must be numeric IPv4 or IPv6
  // text; it is checked by Send(), once until the agent is set again.
  void SetAgentAddress(std::string_view address) {
    agent_address_.assign(address);
    agent_ready_ = false;
  }
  void SetAgentPort(int port) {
    agent_port_ = port;
    agent_ready_ = false;
  }
  const std::string& AgentAddress() const { return agent_address_; }
  int AgentPort() const { return agent_port_; }

  // The one message object: the request is built in it, an accepted response
  // is placed in it.
  Message& message() { return message_; }
  const Message& message() const { return message_; }

  // Encodes the message as it stands and sends it to the agent; returns at
  // once. Throws Error for a closed endpoint, a bad agent address or port, a
  // message that does not encode, or a refused send.
  void Send();

  // Raised once per accepted response, after it has been placed in message().
  // Not to be replaced from inside the handler itself.
  void SetResponseHandler(std::function<void()> handler) { on_response_ = std::move(handler); }

  // The SNMPv3 user for requests of version kV3. Derives the keys at once;
  // throws Error(EINVAL) naming the problem when the user cannot be used.
  void SetUsmUser(const UsmUser& user);
  // The user in a form safe to trace ("vexa authPriv SHA/AES"); empty when
  // none is set. Never holds a password or key.
  const std::string& UsmUserDescription() const { return usm_.Description(); }
  // Raised, instead of the response handler, when the agent refuses a v3
  // request with a Report. Same rules as the response handler.
  void SetRefusalHandler(std::function<void(const Refusal&)> handler) {
    on_refusal_ = std::move(handler);
  }
  // What the agent's engine is believed to be (address as for
  // SetAgentAddress), or null before its discovery.
  const EngineState* UsmEngine(const std::string& address, int port) const;
  // Whether the agent answered engine discovery but never a request of the
  // current user: what a wrong privacy password or context name looks like
  // when a request goes unanswered.
  bool UsmAnsweredOnlyDiscovery(const std::string& address, int port) const;

  // Counters for diagnostics and tests.
  uint64_t ResponsesAccepted() const { return accepted_; }
  uint64_t DatagramsDropped() const { return dropped_; }

 private:
  void OnReadable();
  void OnV3Datagram(std::span<const uint8_t> datagram);
  Endpoint LocalBindEndpoint(int& family, bool& v6only) const;

  EventLoop& loop_;
  int local_port_ = 0;
  bool any_port_ = false;
  int fd_ = -1;
  int watch_id_ = -1;
  int family_ = 0;
  bool v6only_ = false;

  std::string agent_address_;
  int agent_port_ = 161;
  // The agent as the socket addresses it, and its engines' key, once Send()
  // has checked it.
  bool agent_ready_ = false;
  Endpoint agent_;
  std::string agent_key_;
  Endpoint peer_;  // where the last request went
  bool has_peer_ = false;
  bool peer_v3_ = false;  // the last request was SNMPv3
  std::string peer_key_;  // peer_ as "address:port", the engines' key

  Message message_;
  Message scratch_;  // a datagram is decoded here and swapped in only when whole
  std::vector<uint8_t> send_buffer_;
  std::vector<uint8_t> resend_buffer_;
  std::unique_ptr<uint8_t[]> receive_buffer_;
  std::function<void()> on_response_;
  std::function<void(const Refusal&)> on_refusal_;
  UsmClient usm_;

  uint64_t accepted_ = 0;
  uint64_t dropped_ = 0;
};

}  // namespace vexa::snmp

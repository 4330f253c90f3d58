// The manager's side of SNMPv3 with USM: one user's keys, the engines
// discovered per agent, and the exchange of one request at a time (message
// processing of RFC 3412 7.1 and 7.2 for a command generator, USM processing
// of RFC 3414 3.1 and 3.2 for the non-authoritative engine, discovery of RFC
// 3414 section 4).
//
// The exchange of a request:
//
//   1. No engine known for the agent yet: a discovery probe goes out instead
//      (noAuthNoPriv, empty engine id and user, an empty get request), and
//      the request waits in the caller's message object.
//   2. The agent's Report names its engine id, boots and time; the user's
//      keys are localized for it and the request goes out.
//   3. A Response: checked (same msgID, same security level and user, MAC,
//      time window, decryption) and handed over. Anything that fails a check
//      is dropped as if it never came, so a forged datagram can at most cost
//      the request a time-out or the resend of step 6.
//   4. A Report of unknownEngineID (the agent has a new engine id) or of
//      notInTimeWindow (it rebooted, or our notion of its clock is off): the
//      engine data is taken from the Report and the request goes out once
//      more; a second such Report refuses the request. This resend is the
//      layer's own and is not one of the caller's retries. A notInTimeWindow
//      Report moves our clock only when it authenticates.
//   5. A Report of unknownUserName, wrongDigest, decryptionError,
//      unsupportedSecLevel or an unknown context refuses the request with
//      that cause. Agents send these unauthenticated (they could not check
//      the request), so they are taken from the agent's address and port
//      with the request's msgID, as RFC 3414 expects.
//   6. A Response or Report for our user and the agent's engine whose MAC
//      does not verify under our key (or is of another length): some agents
//      answer a wrong digest so, signed with the key they hold for the user.
//      Nothing in it is used, but it is evidence: the request goes out once
//      more under a new msgID at once, and a second such answer refuses the
//      request (kAuthenticationFailure). One datagram alone may be damage, or
//      forged by someone who saw the request; an agent that holds another key
//      fails every request alike.
//
// The engine data (id, boots, time, keys) of each agent is kept for the life
// of this object. Keys are localized from the user's keys, which SetUser()
// derives once from the passwords; passwords are not kept.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "snmp/snmp_message.h"
#include "snmp/usm_security.h"
#include "snmp/usm_user.h"
#include "snmp/v3_message.h"

namespace vexa::snmp {

// Why an agent refused a request, from the counter its Report carries, or
// kAuthenticationFailure for answers that do not authenticate.
enum class ReportCause : uint8_t {
  kUnsupportedSecLevel,    // usmStatsUnsupportedSecLevels
  kNotInTimeWindow,        // usmStatsNotInTimeWindows, again after a re-sync
  kUnknownUserName,        // usmStatsUnknownUserNames
  kUnknownEngineId,        // usmStatsUnknownEngineIDs, again after a re-discovery
  kWrongDigest,            // usmStatsWrongDigests
  kDecryptionError,        // usmStatsDecryptionErrors
  kUnknownContext,         // snmpUnknownContexts, snmpUnavailableContexts
  kOther,                  // any other report
  kAuthenticationFailure,  // answers whose MAC does not verify under our key
};

struct Refusal {
  ReportCause cause = ReportCause::kOther;
  std::string report_oid;  // the first binding's OID in the Report

  // The cause by its counter's name with a hint in words, e.g.
  // "wrongDigest (wrong authentication password or protocol)".
  std::string Describe() const;
};

// The cause a Report's first binding names.
ReportCause ClassifyReport(const std::string& oid);

// What the agent's engine is believed to be.
struct EngineState {
  std::string id;
  int32_t boots = 0;
  int32_t time = 0;     // engine time at `synced`
  SteadyTime synced{};  // when `time` was learnt
  int32_t latest_received_time = 0;
};

class UsmClient {
 public:
  explicit UsmClient(const Clock& clock);
  ~UsmClient();
  UsmClient(const UsmClient&) = delete;
  UsmClient& operator=(const UsmClient&) = delete;

  // Takes the user (2 x 1 MB of hashing for the keys). Throws
  // std::invalid_argument with UsmUser::Problem() when it cannot be used.
  // Engines stay known; their keys are localized again when next used.
  void SetUser(const UsmUser& user);
  bool HasUser() const { return has_user_; }
  // UsmUser::Description() of the user set, empty before.
  const std::string& Description() const { return description_; }

  // Encodes `request` (a v3 message) for the agent named `agent` (its
  // address and port as one text), or the discovery probe when no engine is
  // known for the agent. The PDU is checked in either case.
  CodecStatus EncodeRequest(const std::string& agent, const Message& request,
                            std::vector<uint8_t>& out);

  enum class Outcome : uint8_t {
    kDrop,      // nothing for the caller: not ours, not whole, not authentic
    kResponse,  // `response` holds the response
    kSend,      // `out` holds `request` again, to be sent to the agent
    kRefused,   // the agent refused the request: LastRefusal()
  };
  // Handles one datagram that came from `agent`. `request` is the request
  // last encoded, as the caller still holds it.
  Outcome Receive(const std::string& agent, std::span<const uint8_t> datagram,
                  const Message& request, Message& response, std::vector<uint8_t>& out);
  const Refusal& LastRefusal() const { return refusal_; }

  // What is known of an agent's engine; null before its discovery.
  const EngineState* Engine(const std::string& agent) const;
  // Drops what is known of the agent's engine; its next request discovers
  // the engine again.
  void Forget(const std::string& agent);
  // Whether the agent answered discovery but has never answered a request of
  // the current user (since its engine id was learnt): an agent that cannot
  // decrypt the requests, or does not serve the context, stays silent so.
  bool AnsweredOnlyDiscovery(const std::string& agent) const;

 private:
  struct AgentEngine {
    EngineState state;
    std::unique_ptr<LocalizedKeys> keys;
    uint64_t keys_generation = 0;      // user generation the keys were made for
    uint64_t answered_generation = 0;  // user generation a response came for
  };
  struct Pending {
    bool active = false;
    std::string agent;
    int32_t msg_id = 0;
    bool probe = false;
    bool resent = false;      // the one report-driven resend is used
    bool unverified = false;  // an answer failed authentication: resent once
  };

  int32_t NextMsgId();
  int32_t EstimatedTime(const EngineState& engine) const;
  void Learn(AgentEngine& engine, const UsmParameters& usm);
  const LocalizedKeys& KeysFor(AgentEngine& engine);
  CodecStatus EncodeProbe(const Message& request, std::vector<uint8_t>& out);
  CodecStatus EncodeFor(AgentEngine& engine, const Message& request, std::vector<uint8_t>& out);
  // RFC 3414 3.2 step 7b for an authentic message: moves our notion of the
  // engine's clock forward and tells whether the message is in the window.
  bool InTimeWindow(EngineState& engine, int32_t boots, int32_t time);
  Outcome OnReport(AgentEngine* engine, const V3Message& in, bool authentic, const Message& request,
                   const Message& report, std::vector<uint8_t>& out);
  Outcome OnUnverified(AgentEngine& engine, const Message& request, std::vector<uint8_t>& out);
  Outcome Refuse(ReportCause cause, const std::string& oid);

  const Clock& clock_;
  bool has_user_ = false;
  UsmUser user_;  // with the passwords cleared
  std::string description_;
  crypto::Bytes auth_ku_;
  crypto::Bytes priv_ku_;
  uint64_t generation_ = 0;

  std::map<std::string, AgentEngine> engines_;
  Pending pending_;
  int32_t msg_id_ = 0;
  uint64_t salt_ = 0;
  Refusal refusal_;

  // Scratch buffers, kept between messages.
  Message probe_;
  V3Message in_;
  ScopedPduFields fields_;
  std::vector<uint8_t> scoped_;
  crypto::Bytes crypted_;
  crypto::Bytes plain_;
};

}  // namespace vexa::snmp

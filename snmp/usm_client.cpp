#include "snmp/usm_client.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace vexa::snmp {

namespace {

struct KnownReport {
  std::string_view oid;  // the counter's instance, without the trailing ".0"
  ReportCause cause;
  std::string_view name;
  std::string_view hint;
};

// RFC 3414 usmStats (1.3.6.1.6.3.15.1.1) and RFC 3412 snmpMPDStats contexts.
constexpr KnownReport kReports[] = {
    {"1.3.6.1.6.3.15.1.1.1", ReportCause::kUnsupportedSecLevel, "unsupportedSecLevel",
     "the agent does not allow this security level for the user"},
    {"1.3.6.1.6.3.15.1.1.2", ReportCause::kNotInTimeWindow, "notInTimeWindow",
     "the agent's engine time could not be synchronised"},
    {"1.3.6.1.6.3.15.1.1.3", ReportCause::kUnknownUserName, "unknownUserName",
     "the agent does not know the user"},
    {"1.3.6.1.6.3.15.1.1.4", ReportCause::kUnknownEngineId, "unknownEngineID",
     "the agent's engine id could not be discovered"},
    {"1.3.6.1.6.3.15.1.1.5", ReportCause::kWrongDigest, "wrongDigest",
     "wrong authentication password or protocol"},
    {"1.3.6.1.6.3.15.1.1.6", ReportCause::kDecryptionError, "decryptionError",
     "wrong privacy password or protocol"},
    {"1.3.6.1.6.3.12.1.5", ReportCause::kUnknownContext, "unknownContext",
     "the agent does not know the context name"},
    {"1.3.6.1.6.3.12.1.4", ReportCause::kUnknownContext, "unavailableContext",
     "the agent cannot serve the context name"},
};

const KnownReport* FindReport(std::string_view oid) {
  if (oid.size() > 2 && oid.substr(oid.size() - 2) == ".0") oid.remove_suffix(2);
  for (const KnownReport& report : kReports)
    if (report.oid == oid) return &report;
  return nullptr;
}

uint8_t LevelFlags(SecurityLevel level) {
  switch (level) {
    case SecurityLevel::kNoAuthNoPriv:
      return 0;
    case SecurityLevel::kAuthNoPriv:
      return msg_flag::kAuth;
    case SecurityLevel::kAuthPriv:
      return msg_flag::kAuth | msg_flag::kPriv;
  }
  return 0;
}

// RFC 3414 3.2 step 7b: the window is 150 seconds.
constexpr int64_t kTimeWindowSeconds = 150;

}  // namespace

ReportCause ClassifyReport(const std::string& oid) {
  const KnownReport* report = FindReport(oid);
  return report == nullptr ? ReportCause::kOther : report->cause;
}

std::string Refusal::Describe() const {
  if (cause == ReportCause::kAuthenticationFailure)
    return "authentication failed (the agent's answers do not verify: wrong authentication "
           "password or protocol)";
  // The counter the Report named, or else the first one of the cause.
  const KnownReport* report = FindReport(report_oid);
  if (report == nullptr || report->cause != cause) {
    report = nullptr;
    for (const KnownReport& known : kReports) {
      if (known.cause == cause) {
        report = &known;
        break;
      }
    }
  }
  if (report == nullptr) return "report " + (report_oid.empty() ? "without bindings" : report_oid);
  return std::string(report->name) + " (" + std::string(report->hint) + ")";
}

UsmClient::UsmClient(const Clock& clock) : clock_(clock) {
  // Random starting points, so that a restarted manager does not repeat the
  // msgIDs and salts of its last life.
  uint8_t seed[12];
  crypto::RandomBytes(seed);
  for (int i = 0; i < 4; ++i) msg_id_ = (msg_id_ << 8) | seed[i];
  msg_id_ &= std::numeric_limits<int32_t>::max();
  for (int i = 4; i < 12; ++i) salt_ = (salt_ << 8) | seed[i];
}

UsmClient::~UsmClient() {
  crypto::Cleanse(auth_ku_);
  crypto::Cleanse(priv_ku_);
}

void UsmClient::SetUser(const UsmUser& user) {
  const std::string problem = user.Problem();
  if (!problem.empty()) throw std::invalid_argument(problem);
  crypto::Bytes auth_ku, priv_ku;
  if (user.auth != AuthProtocol::kNone) auth_ku = PasswordToKey(user.auth, user.auth_password);
  // RFC 3414 and net-snmp derive the privacy key with the authentication hash.
  if (user.priv != PrivProtocol::kNone) priv_ku = PasswordToKey(user.auth, user.priv_password);
  crypto::Cleanse(auth_ku_);
  crypto::Cleanse(priv_ku_);
  auth_ku_ = std::move(auth_ku);
  priv_ku_ = std::move(priv_ku);
  user_ = user;
  user_.WipePasswords();
  description_ = user.Description();
  ++generation_;
  has_user_ = true;
  pending_.active = false;
}

const EngineState* UsmClient::Engine(const std::string& agent) const {
  const auto it = engines_.find(agent);
  return it == engines_.end() ? nullptr : &it->second.state;
}

void UsmClient::Forget(const std::string& agent) {
  engines_.erase(agent);
  if (pending_.agent == agent) pending_.active = false;
}

bool UsmClient::AnsweredOnlyDiscovery(const std::string& agent) const {
  const auto it = engines_.find(agent);
  return it != engines_.end() && it->second.answered_generation != generation_;
}

int32_t UsmClient::NextMsgId() {
  msg_id_ = msg_id_ == std::numeric_limits<int32_t>::max() ? 0 : msg_id_ + 1;
  return msg_id_;
}

int32_t UsmClient::EstimatedTime(const EngineState& engine) const {
  const int64_t elapsed =
      std::chrono::duration_cast<std::chrono::seconds>(clock_.Now() - engine.synced).count();
  return static_cast<int32_t>(std::min<int64_t>(engine.time + std::max<int64_t>(elapsed, 0),
                                                std::numeric_limits<int32_t>::max()));
}

void UsmClient::Learn(AgentEngine& engine, const UsmParameters& usm) {
  if (engine.state.id != usm.engine_id) {
    engine.keys.reset();
    engine.answered_generation = 0;
  }
  engine.state.id = usm.engine_id;
  engine.state.boots = usm.engine_boots;
  engine.state.time = usm.engine_time;
  engine.state.latest_received_time = usm.engine_time;
  engine.state.synced = clock_.Now();
}

const LocalizedKeys& UsmClient::KeysFor(AgentEngine& engine) {
  if (engine.keys == nullptr || engine.keys_generation != generation_) {
    const auto* id = reinterpret_cast<const uint8_t*>(engine.state.id.data());
    engine.keys = std::make_unique<LocalizedKeys>(user_.auth, auth_ku_, user_.priv, priv_ku_,
                                                  std::span(id, engine.state.id.size()));
    engine.keys_generation = generation_;
  }
  return *engine.keys;
}

CodecStatus UsmClient::EncodeRequest(const std::string& agent, const Message& request,
                                     std::vector<uint8_t>& out) {
  if (!has_user_) return CodecStatus::kBadSecurityParameters;
  if (request.version != Version::kV3) return CodecStatus::kBadVersion;
  pending_ = Pending{.active = true, .agent = agent};
  const auto it = engines_.find(agent);
  if (it != engines_.end()) return EncodeFor(it->second, request, out);
  // The request goes out only after discovery; check it now, so that a bad
  // one fails here and not later on the event loop.
  fields_ = {};
  VEXA_CODEC_TRY(EncodeScopedPdu(fields_, request, scoped_));
  return EncodeProbe(request, out);
}

CodecStatus UsmClient::EncodeProbe(const Message& request, std::vector<uint8_t>& out) {
  // RFC 3414 section 4: noAuthNoPriv, empty engine id and user name; an
  // empty get request, as net-snmp sends.
  probe_.Reset();
  probe_.version = Version::kV3;
  probe_.pdu_type = pdu::kGetRequest;
  probe_.request_id = request.request_id;
  fields_ = {};
  VEXA_CODEC_TRY(EncodeScopedPdu(fields_, probe_, scoped_));
  const int32_t id = NextMsgId();
  size_t auth_offset = 0;
  VEXA_CODEC_TRY(EncodeV3Message(id, static_cast<int32_t>(kMaxDatagram), msg_flag::kReportable,
                                 UsmParameters{}, scoped_, false, out, auth_offset));
  pending_.msg_id = id;
  pending_.probe = true;
  return CodecStatus::kOk;
}

CodecStatus UsmClient::EncodeFor(AgentEngine& engine, const Message& request,
                                 std::vector<uint8_t>& out) {
  const LocalizedKeys& keys = KeysFor(engine);
  fields_.context_engine_id = engine.state.id;
  fields_.context_name = user_.context;
  VEXA_CODEC_TRY(EncodeScopedPdu(fields_, request, scoped_));

  UsmParameters usm;
  usm.engine_id = engine.state.id;
  usm.engine_boots = engine.state.boots;
  usm.engine_time = EstimatedTime(engine.state);
  usm.user_name = user_.name;
  const uint8_t flags = LevelFlags(user_.level()) | msg_flag::kReportable;
  if ((flags & msg_flag::kAuth) != 0) usm.auth_params.assign(MacLength(user_.auth), '\0');
  std::span<const uint8_t> data = scoped_;
  const bool encrypted = (flags & msg_flag::kPriv) != 0;
  if (encrypted) {
    keys.Encrypt(usm.engine_boots, usm.engine_time, ++salt_, scoped_, crypted_, usm.priv_params);
    data = crypted_;
  }
  const int32_t id = NextMsgId();
  size_t auth_offset = 0;
  VEXA_CODEC_TRY(EncodeV3Message(id, static_cast<int32_t>(kMaxDatagram), flags, usm, data,
                                 encrypted, out, auth_offset));
  if ((flags & msg_flag::kAuth) != 0) keys.Sign(out, auth_offset);
  pending_.msg_id = id;
  pending_.probe = false;
  return CodecStatus::kOk;
}

bool UsmClient::InTimeWindow(EngineState& engine, int32_t boots, int32_t time) {
  if (boots > engine.boots || (boots == engine.boots && time > engine.latest_received_time)) {
    engine.boots = boots;
    engine.time = time;
    engine.latest_received_time = time;
    engine.synced = clock_.Now();
  }
  if (engine.boots == std::numeric_limits<int32_t>::max() || boots < engine.boots) return false;
  return !(boots == engine.boots &&
           time < static_cast<int64_t>(EstimatedTime(engine)) - kTimeWindowSeconds);
}

UsmClient::Outcome UsmClient::Receive(const std::string& agent, std::span<const uint8_t> datagram,
                                      const Message& request, Message& response,
                                      std::vector<uint8_t>& out) {
  if (!pending_.active || agent != pending_.agent) return Outcome::kDrop;
  if (DecodeV3Message(datagram, in_) != CodecStatus::kOk || in_.msg_id != pending_.msg_id)
    return Outcome::kDrop;
  const auto it = engines_.find(agent);
  AgentEngine* engine = it == engines_.end() ? nullptr : &it->second;

  const bool authentic = (in_.flags & msg_flag::kAuth) != 0;
  if (authentic) {
    // RFC 3414 3.2 steps 3 to 6: our user, the engine we know, the MAC.
    if (engine == nullptr || pending_.probe || user_.auth == AuthProtocol::kNone ||
        in_.usm.engine_id != engine->state.id || in_.usm.user_name != user_.name)
      return Outcome::kDrop;
    if (in_.usm.auth_params.size() != MacLength(user_.auth) ||
        !KeysFor(*engine).Verify(datagram, in_.auth_offset))
      return OnUnverified(*engine, request, out);
  }
  std::span<const uint8_t> scoped = in_.scoped_pdu;
  const bool encrypted = (in_.flags & msg_flag::kPriv) != 0;
  if (encrypted) {
    // RFC 3414 3.2 step 8; `authentic` holds, so the engine is known.
    if (user_.priv == PrivProtocol::kNone ||
        !KeysFor(*engine).Decrypt(in_.usm.engine_boots, in_.usm.engine_time, in_.usm.priv_params,
                                  in_.encrypted_pdu, plain_))
      return Outcome::kDrop;
    scoped = plain_;
  }
  // Decrypted data may end in padding: DES needs whole blocks, and some
  // agents (pysnmp's, so snmpsim's) pad AES data to blocks as well. The MAC
  // covers it, so it is the agent's own and harmless.
  if (DecodeScopedPdu(scoped, encrypted, fields_, response) != CodecStatus::kOk)
    return Outcome::kDrop;

  if (response.pdu_type == pdu::kReport)
    return OnReport(engine, in_, authentic, request, response, out);
  if (response.pdu_type != pdu::kResponse || pending_.probe || engine == nullptr)
    return Outcome::kDrop;
  // RFC 3412 7.2 step 12: the response comes at the request's security level,
  // for the request's user, from the engine the request went to.
  if ((in_.flags & (msg_flag::kAuth | msg_flag::kPriv)) != LevelFlags(user_.level()) ||
      in_.usm.user_name != user_.name || in_.usm.engine_id != engine->state.id)
    return Outcome::kDrop;
  if (authentic && !InTimeWindow(engine->state, in_.usm.engine_boots, in_.usm.engine_time))
    return Outcome::kDrop;
  pending_.active = false;
  engine->answered_generation = generation_;
  return Outcome::kResponse;
}

UsmClient::Outcome UsmClient::OnReport(AgentEngine* engine, const V3Message& in, bool authentic,
                                       const Message& request, const Message& report,
                                       std::vector<uint8_t>& out) {
  const std::string oid = report.bindings.empty() ? std::string() : report.bindings[0].oid;
  if (pending_.probe) {
    // Discovery: whatever the agent reports about the probe names its engine.
    if (in.usm.engine_id.empty()) return Outcome::kDrop;
    AgentEngine& discovered = engines_[pending_.agent];
    Learn(discovered, in.usm);
    return EncodeFor(discovered, request, out) == CodecStatus::kOk ? Outcome::kSend
                                                                   : Outcome::kDrop;
  }
  if (engine == nullptr) return Outcome::kDrop;
  const ReportCause cause = ClassifyReport(oid);
  switch (cause) {
    case ReportCause::kUnknownEngineId:
      // The agent has another engine now (a new id): discover it again.
      if (pending_.resent || in.usm.engine_id.empty()) return Refuse(cause, oid);
      Learn(*engine, in.usm);
      break;
    case ReportCause::kNotInTimeWindow:
      // Only an authentic report may move our notion of the agent's clock.
      if (user_.auth != AuthProtocol::kNone && !authentic) return Outcome::kDrop;
      if (pending_.resent) return Refuse(cause, oid);
      Learn(*engine, in.usm);
      break;
    default:
      return Refuse(cause, oid);
  }
  pending_.resent = true;
  return EncodeFor(*engine, request, out) == CodecStatus::kOk ? Outcome::kSend : Outcome::kDrop;
}

UsmClient::Outcome UsmClient::OnUnverified(AgentEngine& engine, const Message& request,
                                           std::vector<uint8_t>& out) {
  if (pending_.unverified) return Refuse(ReportCause::kAuthenticationFailure, "");
  pending_.unverified = true;
  return EncodeFor(engine, request, out) == CodecStatus::kOk ? Outcome::kSend : Outcome::kDrop;
}

UsmClient::Outcome UsmClient::Refuse(ReportCause cause, const std::string& oid) {
  refusal_.cause = cause;
  refusal_.report_oid = oid;
  pending_.active = false;
  return Outcome::kRefused;
}

}  // namespace vexa::snmp

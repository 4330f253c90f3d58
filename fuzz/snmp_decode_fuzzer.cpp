// Fuzz target for the SNMP message decoders. Any input must be decoded or
// refused without reading outside it; whatever decodes must encode again and
// decode back to the same message (the encoder writes its own canonical
// forms, so the bytes may differ; the message may not).
//
// SNMPv3 inputs go further: a plaintext scoped PDU makes the same round trip
// through the v3 framing; an encrypted one is decrypted with fixed AES and
// DES keys and decoded; and the message, stamped with the msgID the manager's
// USM side waits for (and signed with the user's key where it claims to be
// authentic), is handed to it as the answer to a discovery probe and then to
// a request, for a user without and a user with authentication and privacy,
// so that Reports, discovery, re-sync, refusals and responses all see it.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "snmp/snmp_message.h"
#include "snmp/usm_client.h"
#include "snmp/usm_security.h"
#include "snmp/v3_message.h"

namespace {

using namespace vexa::snmp;

// Time moves one second per round, so time-window checks see both sides.
class StepClock final : public vexa::Clock {
 public:
  vexa::SteadyTime Now() const override { return now_; }
  vexa::WallTime WallNow() const override { return {}; }
  int Poll(pollfd*, nfds_t, vexa::Millis) override { return 0; }
  void Step() { now_ += std::chrono::seconds(1); }

 private:
  vexa::SteadyTime now_{};
};

void RoundTripV1V2c(const uint8_t* data, size_t size) {
  // Reused between inputs, as the manager reuses its scratch message.
  static Message message;
  static Message again;
  static std::vector<uint8_t> encoded;

  if (DecodeMessage({data, size}, message) != CodecStatus::kOk) return;
  const CodecStatus status = EncodeMessage(message, encoded);
  // Re-encoding can grow a little (an unsigned value sent without its 0x00
  // pad gets one), so a datagram near the limit may no longer fit.
  if (status == CodecStatus::kMessageTooLarge) return;
  if (status != CodecStatus::kOk) __builtin_trap();
  if (DecodeMessage(encoded, again) != CodecStatus::kOk) __builtin_trap();
  if (!(again == message)) __builtin_trap();
}

void RoundTripScopedPdu(const V3Message& framing) {
  static ScopedPduFields fields, fields_again;
  static Message pdu, pdu_again;
  static std::vector<uint8_t> scoped, encoded;
  static V3Message framing_again;
  if (DecodeScopedPdu(framing.scoped_pdu, false, fields, pdu) != CodecStatus::kOk) return;
  if (EncodeScopedPdu(fields, pdu, scoped) != CodecStatus::kOk) __builtin_trap();
  size_t auth_offset = 0;
  const CodecStatus status = EncodeV3Message(framing.msg_id, framing.max_size, framing.flags,
                                             framing.usm, scoped, false, encoded, auth_offset);
  if (status == CodecStatus::kMessageTooLarge) return;
  if (status != CodecStatus::kOk) __builtin_trap();
  if (DecodeV3Message(encoded, framing_again) != CodecStatus::kOk) __builtin_trap();
  if (framing_again.auth_offset != auth_offset ||
      framing_again.usm.auth_params != framing.usm.auth_params ||
      framing_again.usm.engine_id != framing.usm.engine_id)
    __builtin_trap();
  if (DecodeScopedPdu(framing_again.scoped_pdu, false, fields_again, pdu_again) != CodecStatus::kOk)
    __builtin_trap();
  if (!(pdu_again == pdu) || fields_again.context_name != fields.context_name) __builtin_trap();
}

void DecryptWithFixedKeys(const V3Message& framing) {
  static const std::vector<uint8_t> engine(5, 0x80);
  static const std::vector<uint8_t> sha_ku(20, 0x5A);
  static const std::vector<uint8_t> md5_ku(16, 0x5A);
  static const LocalizedKeys aes(AuthProtocol::kSha1, sha_ku, PrivProtocol::kAes256, sha_ku,
                                 engine);
  static const LocalizedKeys des(AuthProtocol::kMd5, md5_ku, PrivProtocol::kDes, md5_ku, engine);
  static crypto::Bytes plain;
  static ScopedPduFields fields;
  static Message pdu;
  for (const LocalizedKeys* keys : {&aes, &des}) {
    if (keys->Decrypt(framing.usm.engine_boots, framing.usm.engine_time, framing.usm.priv_params,
                      framing.encrypted_pdu, plain))
      DecodeScopedPdu(plain, true, fields, pdu);
  }
}

// A manager's USM side for one user, with the user's keys at hand to sign
// what the fuzzer sends it.
struct Subject {
  Subject(const UsmUser& usm_user, StepClock& clock) : client(clock), user(usm_user) {
    client.SetUser(user);
    if (user.auth != AuthProtocol::kNone) auth_ku = PasswordToKey(user.auth, user.auth_password);
    if (user.priv != PrivProtocol::kNone) priv_ku = PasswordToKey(user.auth, user.priv_password);
  }
  UsmClient client;
  UsmUser user;
  crypto::Bytes auth_ku, priv_ku;
};

// The input as the agent's answer to whatever `subject` waits for: first the
// answer to a probe (the engine is new), then, if that taught it an engine,
// the answer to a request.
void Answer(Subject& subject, StepClock& clock, const V3Message& framing,
            std::span<const uint8_t> msg_data) {
  static Message request, response;
  static std::vector<uint8_t> out, stamped;
  static const std::string agent = "127.0.12.9:161";
  request.Reset();
  request.version = Version::kV3;
  request.request_id = 7;
  request.AddBinding("1.3.6.1.2.1.4.22.1.1");
  subject.client.Forget(agent);
  for (int round = 0; round < 2; ++round) {
    clock.Step();
    if (subject.client.EncodeRequest(agent, request, out) != CodecStatus::kOk) __builtin_trap();
    V3Message sent;
    if (DecodeV3Message(out, sent) != CodecStatus::kOk) __builtin_trap();
    size_t auth_offset = 0;
    if (EncodeV3Message(sent.msg_id, framing.max_size, framing.flags, framing.usm, msg_data,
                        (framing.flags & msg_flag::kPriv) != 0, stamped,
                        auth_offset) != CodecStatus::kOk)
      return;
    if ((framing.flags & msg_flag::kAuth) != 0 && subject.user.auth != AuthProtocol::kNone &&
        framing.usm.auth_params.size() == MacLength(subject.user.auth)) {
      std::fill_n(stamped.begin() + static_cast<std::ptrdiff_t>(auth_offset),
                  framing.usm.auth_params.size(), 0);
      const auto* id = reinterpret_cast<const uint8_t*>(framing.usm.engine_id.data());
      LocalizedKeys(subject.user.auth, subject.auth_ku, subject.user.priv, subject.priv_ku,
                    std::span(id, framing.usm.engine_id.size()))
          .Sign(stamped, auth_offset);
    }
    subject.client.Receive(agent, stamped, request, response, out);
    if (subject.client.Engine(agent) == nullptr) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RoundTripV1V2c(data, size);

  static V3Message framing;
  if (DecodeV3Message({data, size}, framing) != CodecStatus::kOk) return 0;
  const bool encrypted = (framing.flags & msg_flag::kPriv) != 0;
  if (encrypted)
    DecryptWithFixedKeys(framing);
  else
    RoundTripScopedPdu(framing);

  static StepClock clock;
  static std::unique_ptr<Subject> subjects[2];
  if (subjects[0] == nullptr) {
    UsmUser user;
    user.name = "vexa";
    subjects[0] = std::make_unique<Subject>(user, clock);
    user.auth = AuthProtocol::kSha256;
    user.auth_password = "vexa-auth-pass";
    user.priv = PrivProtocol::kAes128;
    user.priv_password = "vexa-priv-pass";
    subjects[1] = std::make_unique<Subject>(user, clock);
  }
  const std::span<const uint8_t> msg_data = encrypted ? framing.encrypted_pdu : framing.scoped_pdu;
  for (auto& subject : subjects) Answer(*subject, clock, framing, msg_data);
  return 0;
}

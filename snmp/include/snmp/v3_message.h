// SNMPv3 messages (RFC 3412 section 6) with the security parameters of the
// User-based Security Model (RFC 3414 section 2.4):
//
//   SNMPv3Message ::= SEQUENCE { msgVersion INTEGER (3),
//     msgGlobalData SEQUENCE { msgID INTEGER (0..2147483647),
//       msgMaxSize INTEGER (484..2147483647), msgFlags OCTET STRING (SIZE(1)),
//       msgSecurityModel INTEGER (1..2147483647) },
//     msgSecurityParameters OCTET STRING,  -- holds UsmSecurityParameters
//     msgData CHOICE { plaintext ScopedPDU, encryptedPDU OCTET STRING } }
//   UsmSecurityParameters ::= SEQUENCE { msgAuthoritativeEngineID OCTET STRING,
//     msgAuthoritativeEngineBoots INTEGER (0..2147483647),
//     msgAuthoritativeEngineTime INTEGER (0..2147483647),
//     msgUserName OCTET STRING (SIZE(0..32)),
//     msgAuthenticationParameters OCTET STRING, msgPrivacyParameters OCTET STRING }
//   ScopedPDU ::= SEQUENCE { contextEngineID OCTET STRING,
//     contextName OCTET STRING, data PDU }
//
// Only framing lives here; authentication and privacy are usm_security.h's.
// The PDU inside a scoped PDU goes through the same codec as v1/v2c.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "snmp/ber.h"
#include "snmp/snmp_message.h"

namespace vexa::snmp {

// msgFlags bits (RFC 3412 6.4).
namespace msg_flag {
inline constexpr uint8_t kAuth = 0x01;
inline constexpr uint8_t kPriv = 0x02;
inline constexpr uint8_t kReportable = 0x04;
}  // namespace msg_flag

inline constexpr int32_t kUsmSecurityModel = 3;
// RFC 3412 6.2: the smallest msgMaxSize an engine may announce.
inline constexpr int32_t kMinMsgMaxSize = 484;
// RFC 3411 5: SnmpEngineID is 5 to 32 octets (empty only while discovering);
// RFC 3414 2.4: msgUserName is at most 32 octets, as is a contextName
// (SnmpAdminString, RFC 3411).
inline constexpr size_t kMaxEngineIdLength = 32;
inline constexpr size_t kMaxUserNameLength = 32;
inline constexpr size_t kMaxContextNameLength = 32;

struct UsmParameters {
  std::string engine_id{};  // octets
  int32_t engine_boots = 0;
  int32_t engine_time = 0;
  std::string user_name{};
  std::string auth_params{};  // octets: the truncated HMAC, or empty
  std::string priv_params{};  // octets: the salt, or empty
};

// One message as read. The spans point into the datagram.
struct V3Message {
  int32_t msg_id = 0;
  int32_t max_size = 0;
  uint8_t flags = 0;
  UsmParameters usm;
  // Where the octets of msgAuthenticationParameters start in the datagram
  // (authentication zeroes them to recompute the HMAC).
  size_t auth_offset = 0;
  // The plaintext ScopedPDU element (tag and length included) when msgFlags
  // has no privacy bit; the encryptedPDU's octets when it has.
  std::span<const uint8_t> scoped_pdu;
  std::span<const uint8_t> encrypted_pdu;
};

// Decodes the framing of one whole datagram (nothing may follow it). Checks
// the ranges above; a security model other than USM is refused, as is the
// privacy bit without the authentication bit (RFC 3412 7.2 step 5).
CodecStatus DecodeV3Message(std::span<const uint8_t> datagram, V3Message& out);

// A scoped PDU's fields; the PDU goes into `pdu` (its version becomes v3).
struct ScopedPduFields {
  std::string context_engine_id;
  std::string context_name;
};

// Decodes a ScopedPDU element. `allow_padding` accepts octets after it: a
// decrypted scoped PDU may end with padding to whole cipher blocks (RFC 3414
// 8.1.1.2 for DES; some agents pad AES data too), which carries no meaning.
CodecStatus DecodeScopedPdu(std::span<const uint8_t> bytes, bool allow_padding,
                            ScopedPduFields& fields, Message& pdu);
// Encodes `pdu` (as a v3 PDU) in a ScopedPDU, replacing `out`'s contents.
CodecStatus EncodeScopedPdu(const ScopedPduFields& fields, const Message& pdu,
                            std::vector<uint8_t>& out);

// Encodes a whole message: the header, `usm` as the security parameters (its
// auth_params as given: zeros of the MAC's length to be signed afterwards),
// and `msg_data`, which is the ScopedPDU element itself when `encrypted` is
// false and the encryptedPDU's octets when it is true. Sets `auth_offset` as
// V3Message does.
CodecStatus EncodeV3Message(int32_t msg_id, int32_t max_size, uint8_t flags,
                            const UsmParameters& usm, std::span<const uint8_t> msg_data,
                            bool encrypted, std::vector<uint8_t>& out, size_t& auth_offset);

}  // namespace vexa::snmp

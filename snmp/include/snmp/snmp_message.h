// Whole SNMPv1/v2c messages (RFC 1157, RFC 1901, PDUs of RFC 3416): the one
// message record the manager works on, and its encoding to and from a
// datagram. The PDU codec is shared with the SNMPv3 framing (v3_message.h),
// which carries the same PDUs inside a scoped PDU.
//
//   Message ::= SEQUENCE { version INTEGER, community OCTET STRING, pdu PDU }
//   PDU     ::= [tag] IMPLICIT SEQUENCE { request-id INTEGER,
//                 error-status INTEGER, error-index INTEGER,
//                 variable-bindings SEQUENCE OF SEQUENCE { name OID, value } }
//
// Values travel as text, the form the collector stores and traces:
// INTEGER and the unsigned types in decimal, IpAddress as dotted decimal,
// OBJECT IDENTIFIER as dotted decimal, OCTET STRING and Opaque as their raw
// octets (one char per octet), NULL and the exception values as empty text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "snmp/ber.h"

namespace vexa::snmp {

// The msgVersion values of RFC 1157, RFC 1901 and RFC 3412.
enum class Version : int32_t { kV1 = 0, kV2c = 1, kV3 = 3 };

// PDU tags (context-specific, constructed).
namespace pdu {
inline constexpr uint8_t kGetRequest = 0xA0;
inline constexpr uint8_t kGetNextRequest = 0xA1;
inline constexpr uint8_t kResponse = 0xA2;
inline constexpr uint8_t kSetRequest = 0xA3;
// v2c only (RFC 3416); the v1 Trap-PDU (0xA4) has another layout and is refused.
inline constexpr uint8_t kGetBulkRequest = 0xA5;
inline constexpr uint8_t kInformRequest = 0xA6;
inline constexpr uint8_t kTrapV2 = 0xA7;
inline constexpr uint8_t kReport = 0xA8;
}  // namespace pdu

// Value types of a variable binding: the BER tag of the value.
namespace syntax {
inline constexpr uint8_t kInteger = 0x02;
inline constexpr uint8_t kOctetString = 0x04;
inline constexpr uint8_t kNull = 0x05;
inline constexpr uint8_t kObjectIdentifier = 0x06;
inline constexpr uint8_t kIpAddress = 0x40;
inline constexpr uint8_t kCounter32 = 0x41;
inline constexpr uint8_t kGauge32 = 0x42;
inline constexpr uint8_t kTimeTicks = 0x43;
inline constexpr uint8_t kOpaque = 0x44;
inline constexpr uint8_t kCounter64 = 0x46;
// v2c exceptions (RFC 3416 section 3): a binding that has no value.
inline constexpr uint8_t kNoSuchObject = 0x80;
inline constexpr uint8_t kNoSuchInstance = 0x81;
inline constexpr uint8_t kEndOfMibView = 0x82;
}  // namespace syntax

struct VarBind {
  std::string oid;  // dotted decimal, e.g. "1.3.6.1.2.1.4.22.1.1.3.10.0.0.5"
  uint8_t syntax = syntax::kNull;
  std::string value;  // text form, see above

  // 0 for a binding that carries no value (NULL, noSuchObject,
  // noSuchInstance, endOfMibView), otherwise the value's BER tag.
  int type() const;
  bool HasValue() const { return type() != 0; }

  bool operator==(const VarBind&) const = default;
};

// Error statuses (RFC 3416 section 3) that a manager acts on.
namespace error_status {
inline constexpr int32_t kNoError = 0;
inline constexpr int32_t kTooBig = 1;  // the response would not fit: ask for less
}  // namespace error_status

struct Message {
  Version version = Version::kV2c;
  std::string community;  // v1/v2c only; v3 security lives in the manager
  uint8_t pdu_type = pdu::kGetNextRequest;
  int32_t request_id = 0;
  // A GetBulkRequest carries non-repeaters and max-repetitions in these two
  // fields (RFC 3416 section 3); SetBulk() fills them.
  int32_t error_status = 0;  // 0 = noError
  int32_t error_index = 0;   // 1-based binding the error refers to, 0 for none
  std::vector<VarBind> bindings;

  // Makes this a GetBulkRequest: the first `non_repeaters` bindings are
  // answered once, the rest up to `max_repetitions` times each, row by row.
  void SetBulk(int32_t non_repeaters, int32_t max_repetitions) {
    pdu_type = pdu::kGetBulkRequest;
    error_status = non_repeaters;
    error_index = max_repetitions;
  }

  // Back to an empty v2c get-next request: no bindings, empty community,
  // identifier, status and index 0. Keeps the storage for reuse.
  void Reset();
  // Appends a binding for `oid` with a NULL value, as requests carry.
  VarBind& AddBinding(std::string_view oid);

  bool operator==(const Message&) const = default;
};

// Encodes `message` into `out` (replacing its contents). The OID and value
// texts are checked here; on failure `out` holds nothing useful.
CodecStatus EncodeMessage(const Message& message, std::vector<uint8_t>& out);

// Decodes one whole datagram. Everything must be well-formed and nothing may
// follow the message. On failure `out` is left partly filled and must not be
// used; callers decode into a scratch message.
CodecStatus DecodeMessage(std::span<const uint8_t> datagram, Message& out);

// The start every version's message shares (RFC 3416 section 3, RFC 3412
// section 6): one SEQUENCE that fills the datagram, its first element the
// version INTEGER. Gives the version and the elements after it in `rest`.
CodecStatus DecodeMessageStart(std::span<const uint8_t> datagram, int32_t& version,
                               std::span<const uint8_t>& rest);

// The PDU alone, the part every version shares: `message`'s PDU type,
// request id, error status and index, and bindings. `version` decides which
// PDU types and value types are allowed (v3 allows what v2c does).
CodecStatus EncodePdu(BerWriter& writer, const Message& message);
// Decodes the PDU element `pdu` (tag and content) into those fields of `out`
// for a message of `version`.
CodecStatus DecodePdu(Version version, const Tlv& pdu, Message& out);

// UDP payload limit over IPv4 (65535 - 20 - 8).
inline constexpr size_t kMaxDatagram = 65507;

}  // namespace vexa::snmp

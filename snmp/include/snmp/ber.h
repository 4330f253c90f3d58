// BER primitives for SNMP: the subset of X.690 that SNMP messages use.
//
// Reading is strict and bounds-checked. A BerReader only ever sees the bytes
// of its enclosing element, compares every length with what is left before it
// advances, and reports a malformed element as a CodecStatus; it never throws
// and never reads past its span. Only definite lengths in at most four octets
// and single-octet tags occur in SNMP, so anything else is refused.
//
// Writing appends to a byte vector the caller owns (and reuses), in the
// minimal encodings (X.690 8.1.3.5 short lengths below 128, 8.3.2 shortest
// integers).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vexa::snmp {

enum class CodecStatus : uint8_t {
  kOk,
  // Framing of one element.
  kTruncated,         // tag or length octets run past the end
  kLengthPastEnd,     // the length claims more content than is left
  kIndefiniteLength,  // length octet 0x80
  kLengthTooLong,     // more than four length octets (or the reserved 0xFF)
  kHighTagNumber,     // multi-octet tag (low five bits all ones)
  kUnexpectedTag,     // an element of the wrong type for its place
  kTrailingBytes,     // bytes left after the last element of a container
  // Contents.
  kEmptyInteger,    // INTEGER (or application integer) with no content octets
  kIntegerTooLong,  // a value outside its type's range
  kBadOid,          // empty, truncated, or a sub-identifier with a 0x80 lead octet
  kOidArcOverflow,  // a sub-identifier above 2^32-1
  kOidTooLong,      // more than 128 sub-identifiers
  kBadNull,         // NULL or exception value with content octets
  kBadIpAddress,    // IpAddress not exactly four octets
  // Message level.
  kBadVersion,          // not the version the decoder reads (0/1 for v1/v2c, 3 for v3)
  kBadPduType,          // not a PDU this codec handles in that version
  kSyntaxNotInVersion,  // Counter64 or an exception value in a v1 message
  // SNMPv3 (RFC 3412, RFC 3414).
  kBadV3Header,               // msgID, msgMaxSize or msgFlags outside their ranges
  kUnsupportedSecurityModel,  // a security model other than USM (3)
  kBadSecurityParameters,     // USM fields outside their sizes and ranges
  // Encoding.
  kBadOidText,         // OID text that is not dotted decimal with a valid first arc pair
  kBadValueText,       // value text that does not fit the binding's syntax
  kUnsupportedSyntax,  // a syntax tag the codec does not know
  kMessageTooLarge,    // encoded message larger than a UDP datagram can carry
};

// A short English description of the status, for error messages and logs.
const char* Describe(CodecStatus status);

// Returns the status of `expr` from the calling function unless it is kOk.
#define VEXA_CODEC_TRY(expr)                                                   \
  do {                                                                         \
    const ::vexa::snmp::CodecStatus codec_status_ = (expr);                    \
    if (codec_status_ != ::vexa::snmp::CodecStatus::kOk) return codec_status_; \
  } while (false)

namespace ber {

inline constexpr uint8_t kInteger = 0x02;
inline constexpr uint8_t kOctetString = 0x04;
inline constexpr uint8_t kNull = 0x05;
inline constexpr uint8_t kObjectIdentifier = 0x06;
inline constexpr uint8_t kSequence = 0x30;

// RFC 2578 section 3.5: an OBJECT IDENTIFIER has at most 128 sub-identifiers,
// each in 0..2^32-1.
inline constexpr size_t kMaxOidArcs = 128;

}  // namespace ber

// One element as read: its tag and the content octets (a view into the input).
struct Tlv {
  uint8_t tag = 0;
  std::span<const uint8_t> content;
};

class BerReader {
 public:
  explicit BerReader(std::span<const uint8_t> data) : data_(data) {}

  bool AtEnd() const { return pos_ == data_.size(); }
  // The octets not read yet.
  std::span<const uint8_t> Rest() const { return data_.subspan(pos_); }

  // Reads the next element and advances past it; on failure nothing moves.
  CodecStatus Next(Tlv& out);
  // Next() that also requires the tag to be `tag`.
  CodecStatus Expect(uint8_t tag, std::span<const uint8_t>& content);

 private:
  std::span<const uint8_t> data_;
  size_t pos_ = 0;
};

// Content decoders. Each checks the whole content span.
//
// X.690 8.3.2 asks for the shortest integer encoding, but real agents do not
// always keep it (snmpsim sends -2147483648 as FF 80 00 00 00). Redundant
// lead octets are therefore skipped, and only a value outside the type is
// refused as too long.
//
// Signed INTEGER (Integer32), two's complement.
CodecStatus DecodeInt32(std::span<const uint8_t> content, int32_t& value);
// Unsigned application integers of `value_octets` octets: 4 for Counter32,
// Gauge32 and TimeTicks, 8 for Counter64. A leading one bit is read as
// magnitude, not sign: agents that omit the 0x00 pad mean the unsigned value,
// and it is unambiguous within the type.
CodecStatus DecodeUnsigned(std::span<const uint8_t> content, size_t value_octets, uint64_t& value);
// OBJECT IDENTIFIER content (X.690 8.19) appended to `text` as dotted decimal.
CodecStatus AppendOidText(std::span<const uint8_t> content, std::string& text);

// Sub-identifiers of an OID, kept on the stack.
struct OidArcs {
  std::array<uint32_t, ber::kMaxOidArcs> arc{};
  size_t count = 0;
};

// Dotted decimal OID text ("1.3.6.1", one leading dot allowed) to arcs. At
// least two arcs; the first is 0, 1 or 2, and below 2 the second is below 40
// (X.690 8.19.4), so that the first pair packs into one sub-identifier.
CodecStatus ParseOidText(std::string_view text, OidArcs& arcs);

// Octets of a whole element (tag, length, content) with `content_length`
// octets of content.
size_t ElementSize(size_t content_length);

class BerWriter {
 public:
  explicit BerWriter(std::vector<uint8_t>& out) : out_(out) {}

  void Integer(uint8_t tag, int32_t value);    // shortest two's complement
  void Unsigned(uint8_t tag, uint64_t value);  // shortest form with a 0x00 pad when needed
  void Bytes(uint8_t tag, std::string_view bytes);
  void Empty(uint8_t tag);  // NULL and the exception values
  void Oid(const OidArcs& arcs);

  // Constructed elements: Begin() writes the tag and returns a mark; End()
  // inserts the length of everything written since.
  size_t Begin(uint8_t tag);
  void End(size_t mark);

 private:
  void Header(uint8_t tag, size_t length);

  std::vector<uint8_t>& out_;
};

}  // namespace vexa::snmp

#include "snmp/snmp_message.h"

#include "snmp/oid_text.h"

#include <charconv>

namespace vexa::snmp {

namespace {

bool PduAllowed(Version version, uint8_t tag) {
  if (tag >= pdu::kGetRequest && tag <= pdu::kSetRequest) return true;
  // RFC 3416 PDUs share the layout above; v1 (RFC 1157) has none of them.
  return version != Version::kV1 && tag >= pdu::kGetBulkRequest && tag <= pdu::kReport;
}

bool IsException(uint8_t tag) {
  return tag == syntax::kNoSuchObject || tag == syntax::kNoSuchInstance ||
         tag == syntax::kEndOfMibView;
}

void AppendDecimal(std::string& text, int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

// Four decimal parts 0..255 of one to three digits.
bool ParseDottedQuad(std::string_view text, char (&octets)[4]) {
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return false;
      ++pos;
    }
    unsigned value = 0;
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
      value = value * 10 + static_cast<unsigned>(text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || value > 255) return false;
    octets[part] = static_cast<char>(value);
  }
  return pos == text.size();
}

CodecStatus DecodeValue(Version version, const Tlv& tlv, std::string& text) {
  switch (tlv.tag) {
    case syntax::kInteger: {
      int32_t value = 0;
      VEXA_CODEC_TRY(DecodeInt32(tlv.content, value));
      AppendDecimal(text, value);
      return CodecStatus::kOk;
    }
    case syntax::kOctetString:
    case syntax::kOpaque:
      text.assign(tlv.content.begin(), tlv.content.end());
      return CodecStatus::kOk;
    case syntax::kNull:
      return tlv.content.empty() ? CodecStatus::kOk : CodecStatus::kBadNull;
    case syntax::kObjectIdentifier:
      return AppendOidText(tlv.content, text);
    case syntax::kIpAddress: {
      // RFC 2578 section 7.1.5: OCTET STRING (SIZE (4)), network order.
      if (tlv.content.size() != 4) return CodecStatus::kBadIpAddress;
      for (size_t i = 0; i < 4; ++i) {
        if (i > 0) text.push_back('.');
        AppendDecimal(text, tlv.content[i]);
      }
      return CodecStatus::kOk;
    }
    case syntax::kCounter32:
    case syntax::kGauge32:
    case syntax::kTimeTicks: {
      uint64_t value = 0;
      VEXA_CODEC_TRY(DecodeUnsigned(tlv.content, 4, value));
      AppendDecimal(text, static_cast<int64_t>(value));
      return CodecStatus::kOk;
    }
    case syntax::kCounter64: {
      if (version == Version::kV1) return CodecStatus::kSyntaxNotInVersion;
      uint64_t value = 0;
      VEXA_CODEC_TRY(DecodeUnsigned(tlv.content, 8, value));
      char digits[20];
      const auto result = std::to_chars(digits, digits + sizeof digits, value);
      text.append(digits, result.ptr);
      return CodecStatus::kOk;
    }
    case syntax::kNoSuchObject:
    case syntax::kNoSuchInstance:
    case syntax::kEndOfMibView:
      if (version == Version::kV1) return CodecStatus::kSyntaxNotInVersion;
      return tlv.content.empty() ? CodecStatus::kOk : CodecStatus::kBadNull;
    default:
      return CodecStatus::kUnexpectedTag;
  }
}

CodecStatus EncodeValue(BerWriter& writer, Version version, const VarBind& binding) {
  const std::string_view text = binding.value;
  switch (binding.syntax) {
    case syntax::kInteger: {
      int32_t value = 0;
      if (ParseDecimal(text, value) != DecimalStatus::kOk) return CodecStatus::kBadValueText;
      writer.Integer(syntax::kInteger, value);
      return CodecStatus::kOk;
    }
    case syntax::kOctetString:
    case syntax::kOpaque:
      writer.Bytes(binding.syntax, text);
      return CodecStatus::kOk;
    case syntax::kNull:
      writer.Empty(syntax::kNull);
      return CodecStatus::kOk;
    case syntax::kObjectIdentifier: {
      OidArcs arcs;
      const CodecStatus status = ParseOidText(text, arcs);
      if (status != CodecStatus::kOk) return CodecStatus::kBadValueText;
      writer.Oid(arcs);
      return CodecStatus::kOk;
    }
    case syntax::kIpAddress: {
      char octets[4];
      if (!ParseDottedQuad(text, octets)) return CodecStatus::kBadValueText;
      writer.Bytes(syntax::kIpAddress, std::string_view(octets, 4));
      return CodecStatus::kOk;
    }
    case syntax::kCounter32:
    case syntax::kGauge32:
    case syntax::kTimeTicks: {
      uint32_t value = 0;
      if (ParseDecimal(text, value) != DecimalStatus::kOk) return CodecStatus::kBadValueText;
      writer.Unsigned(binding.syntax, value);
      return CodecStatus::kOk;
    }
    case syntax::kCounter64: {
      if (version == Version::kV1) return CodecStatus::kSyntaxNotInVersion;
      uint64_t value = 0;
      if (ParseDecimal(text, value) != DecimalStatus::kOk) return CodecStatus::kBadValueText;
      writer.Unsigned(syntax::kCounter64, value);
      return CodecStatus::kOk;
    }
    case syntax::kNoSuchObject:
    case syntax::kNoSuchInstance:
    case syntax::kEndOfMibView:
      if (version == Version::kV1) return CodecStatus::kSyntaxNotInVersion;
      writer.Empty(binding.syntax);
      return CodecStatus::kOk;
    default:
      return CodecStatus::kUnsupportedSyntax;
  }
}

}  // namespace

int VarBind::type() const {
  return syntax == syntax::kNull || IsException(syntax) ? 0 : syntax;
}

void Message::Reset() {
  version = Version::kV2c;
  community.clear();
  pdu_type = pdu::kGetNextRequest;
  request_id = 0;
  error_status = 0;
  error_index = 0;
  bindings.clear();
}

VarBind& Message::AddBinding(std::string_view oid) {
  VarBind& binding = bindings.emplace_back();
  binding.oid.assign(oid);
  return binding;
}

CodecStatus EncodePdu(BerWriter& writer, const Message& message) {
  if (!PduAllowed(message.version, message.pdu_type)) return CodecStatus::kBadPduType;
  const size_t pdu = writer.Begin(message.pdu_type);
  writer.Integer(ber::kInteger, message.request_id);
  writer.Integer(ber::kInteger, message.error_status);
  writer.Integer(ber::kInteger, message.error_index);
  const size_t list = writer.Begin(ber::kSequence);
  for (const VarBind& binding : message.bindings) {
    const size_t pair = writer.Begin(ber::kSequence);
    OidArcs arcs;
    VEXA_CODEC_TRY(ParseOidText(binding.oid, arcs));
    writer.Oid(arcs);
    VEXA_CODEC_TRY(EncodeValue(writer, message.version, binding));
    writer.End(pair);
  }
  writer.End(list);
  writer.End(pdu);
  return CodecStatus::kOk;
}

CodecStatus EncodeMessage(const Message& message, std::vector<uint8_t>& out) {
  out.clear();
  if (message.version != Version::kV1 && message.version != Version::kV2c)
    return CodecStatus::kBadVersion;

  BerWriter writer(out);
  const size_t whole = writer.Begin(ber::kSequence);
  writer.Integer(ber::kInteger, static_cast<int32_t>(message.version));
  writer.Bytes(ber::kOctetString, message.community);
  VEXA_CODEC_TRY(EncodePdu(writer, message));
  writer.End(whole);
  if (out.size() > kMaxDatagram) return CodecStatus::kMessageTooLarge;
  return CodecStatus::kOk;
}

CodecStatus DecodeMessageStart(std::span<const uint8_t> datagram, int32_t& version,
                               std::span<const uint8_t>& rest) {
  std::span<const uint8_t> content;
  BerReader outer(datagram);
  VEXA_CODEC_TRY(outer.Expect(ber::kSequence, content));
  if (!outer.AtEnd()) return CodecStatus::kTrailingBytes;
  BerReader message(content);
  VEXA_CODEC_TRY(message.Expect(ber::kInteger, content));
  VEXA_CODEC_TRY(DecodeInt32(content, version));
  rest = message.Rest();
  return CodecStatus::kOk;
}

CodecStatus DecodeMessage(std::span<const uint8_t> datagram, Message& out) {
  int32_t version = 0;
  std::span<const uint8_t> rest;
  VEXA_CODEC_TRY(DecodeMessageStart(datagram, version, rest));
  if (version != 0 && version != 1) return CodecStatus::kBadVersion;
  BerReader message(rest);
  std::span<const uint8_t> content;
  out.version = static_cast<Version>(version);

  VEXA_CODEC_TRY(message.Expect(ber::kOctetString, content));
  out.community.assign(content.begin(), content.end());

  Tlv pdu;
  VEXA_CODEC_TRY(message.Next(pdu));
  if (!message.AtEnd()) return CodecStatus::kTrailingBytes;
  return DecodePdu(out.version, pdu, out);
}

CodecStatus DecodePdu(Version version, const Tlv& pdu, Message& out) {
  if (!PduAllowed(version, pdu.tag)) return CodecStatus::kBadPduType;
  out.pdu_type = pdu.tag;

  std::span<const uint8_t> content;
  BerReader fields(pdu.content);
  VEXA_CODEC_TRY(fields.Expect(ber::kInteger, content));
  VEXA_CODEC_TRY(DecodeInt32(content, out.request_id));
  VEXA_CODEC_TRY(fields.Expect(ber::kInteger, content));
  VEXA_CODEC_TRY(DecodeInt32(content, out.error_status));
  VEXA_CODEC_TRY(fields.Expect(ber::kInteger, content));
  VEXA_CODEC_TRY(DecodeInt32(content, out.error_index));
  VEXA_CODEC_TRY(fields.Expect(ber::kSequence, content));
  if (!fields.AtEnd()) return CodecStatus::kTrailingBytes;

  // Bindings reuse the strings already in `out` to keep allocations flat.
  BerReader list(content);
  size_t count = 0;
  while (!list.AtEnd()) {
    VEXA_CODEC_TRY(list.Expect(ber::kSequence, content));
    BerReader pair(content);
    std::span<const uint8_t> name;
    VEXA_CODEC_TRY(pair.Expect(ber::kObjectIdentifier, name));
    Tlv value;
    VEXA_CODEC_TRY(pair.Next(value));
    if (!pair.AtEnd()) return CodecStatus::kTrailingBytes;

    VarBind& binding =
        count < out.bindings.size() ? out.bindings[count] : out.bindings.emplace_back();
    ++count;
    binding.oid.clear();
    VEXA_CODEC_TRY(AppendOidText(name, binding.oid));
    binding.syntax = value.tag;
    binding.value.clear();
    VEXA_CODEC_TRY(DecodeValue(version, value, binding.value));
  }
  out.bindings.resize(count);
  return CodecStatus::kOk;
}

}  // namespace vexa::snmp

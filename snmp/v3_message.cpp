#include "snmp/v3_message.h"

#include <string_view>

namespace vexa::snmp {

namespace {

constexpr int32_t kMsgVersion = 3;

// An INTEGER (0..2147483647), the range of every v3 header and USM number.
CodecStatus ReadNonNegative(BerReader& reader, int32_t& value, CodecStatus out_of_range) {
  std::span<const uint8_t> content;
  VEXA_CODEC_TRY(reader.Expect(ber::kInteger, content));
  VEXA_CODEC_TRY(DecodeInt32(content, value));
  return value < 0 ? out_of_range : CodecStatus::kOk;
}

CodecStatus ReadOctets(BerReader& reader, size_t max_length, CodecStatus too_long, std::string& out,
                       std::span<const uint8_t>* where = nullptr) {
  std::span<const uint8_t> content;
  VEXA_CODEC_TRY(reader.Expect(ber::kOctetString, content));
  if (content.size() > max_length) return too_long;
  out.assign(content.begin(), content.end());
  if (where != nullptr) *where = content;
  return CodecStatus::kOk;
}

std::string_view AsText(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

CodecStatus DecodeUsmParameters(std::span<const uint8_t> octets, UsmParameters& usm,
                                std::span<const uint8_t>& auth_params) {
  constexpr CodecStatus kRange = CodecStatus::kBadSecurityParameters;
  std::span<const uint8_t> content;
  BerReader wrapper(octets);
  VEXA_CODEC_TRY(wrapper.Expect(ber::kSequence, content));
  if (!wrapper.AtEnd()) return CodecStatus::kTrailingBytes;
  BerReader fields(content);
  VEXA_CODEC_TRY(ReadOctets(fields, kMaxEngineIdLength, kRange, usm.engine_id));
  // Empty while an engine is being discovered, otherwise at least 5 octets.
  if (!usm.engine_id.empty() && usm.engine_id.size() < 5) return kRange;
  VEXA_CODEC_TRY(ReadNonNegative(fields, usm.engine_boots, kRange));
  VEXA_CODEC_TRY(ReadNonNegative(fields, usm.engine_time, kRange));
  VEXA_CODEC_TRY(ReadOctets(fields, kMaxUserNameLength, kRange, usm.user_name));
  // The longest MAC is HMAC-SHA-512's 48 octets; AES and DES salts are 8.
  VEXA_CODEC_TRY(ReadOctets(fields, 48, kRange, usm.auth_params, &auth_params));
  VEXA_CODEC_TRY(ReadOctets(fields, 8, kRange, usm.priv_params));
  return fields.AtEnd() ? CodecStatus::kOk : CodecStatus::kTrailingBytes;
}

}  // namespace

CodecStatus DecodeV3Message(std::span<const uint8_t> datagram, V3Message& out) {
  constexpr CodecStatus kRange = CodecStatus::kBadV3Header;
  int32_t version = 0;
  std::span<const uint8_t> fields;
  VEXA_CODEC_TRY(DecodeMessageStart(datagram, version, fields));
  if (version != kMsgVersion) return CodecStatus::kBadVersion;
  BerReader message(fields);
  std::span<const uint8_t> content;

  VEXA_CODEC_TRY(message.Expect(ber::kSequence, content));
  BerReader header(content);
  VEXA_CODEC_TRY(ReadNonNegative(header, out.msg_id, kRange));
  VEXA_CODEC_TRY(ReadNonNegative(header, out.max_size, kRange));
  if (out.max_size < kMinMsgMaxSize) return kRange;
  VEXA_CODEC_TRY(header.Expect(ber::kOctetString, content));
  if (content.size() != 1) return kRange;
  out.flags = content[0];
  // RFC 3412 7.2 step 5: privacy without authentication is invalid.
  if ((out.flags & msg_flag::kPriv) != 0 && (out.flags & msg_flag::kAuth) == 0) return kRange;
  int32_t model = 0;
  VEXA_CODEC_TRY(ReadNonNegative(header, model, kRange));
  if (!header.AtEnd()) return CodecStatus::kTrailingBytes;
  if (model != kUsmSecurityModel) return CodecStatus::kUnsupportedSecurityModel;

  VEXA_CODEC_TRY(message.Expect(ber::kOctetString, content));
  std::span<const uint8_t> auth_params;
  VEXA_CODEC_TRY(DecodeUsmParameters(content, out.usm, auth_params));
  out.auth_offset = static_cast<size_t>(auth_params.data() - datagram.data());

  const std::span<const uint8_t> rest = message.Rest();
  Tlv data;
  VEXA_CODEC_TRY(message.Next(data));
  if (!message.AtEnd()) return CodecStatus::kTrailingBytes;
  if ((out.flags & msg_flag::kPriv) != 0) {
    if (data.tag != ber::kOctetString) return CodecStatus::kUnexpectedTag;
    out.encrypted_pdu = data.content;
    out.scoped_pdu = {};
  } else {
    if (data.tag != ber::kSequence) return CodecStatus::kUnexpectedTag;
    out.scoped_pdu = rest;  // the whole element: nothing follows it
    out.encrypted_pdu = {};
  }
  return CodecStatus::kOk;
}

CodecStatus DecodeScopedPdu(std::span<const uint8_t> bytes, bool allow_padding,
                            ScopedPduFields& fields, Message& pdu) {
  constexpr CodecStatus kRange = CodecStatus::kBadV3Header;
  std::span<const uint8_t> content;
  BerReader outer(bytes);
  VEXA_CODEC_TRY(outer.Expect(ber::kSequence, content));
  if (!allow_padding && !outer.AtEnd()) return CodecStatus::kTrailingBytes;
  BerReader scoped(content);
  VEXA_CODEC_TRY(ReadOctets(scoped, kMaxEngineIdLength, kRange, fields.context_engine_id));
  VEXA_CODEC_TRY(ReadOctets(scoped, kMaxContextNameLength, kRange, fields.context_name));
  Tlv data;
  VEXA_CODEC_TRY(scoped.Next(data));
  if (!scoped.AtEnd()) return CodecStatus::kTrailingBytes;
  pdu.version = Version::kV3;
  pdu.community.clear();
  return DecodePdu(Version::kV3, data, pdu);
}

CodecStatus EncodeScopedPdu(const ScopedPduFields& fields, const Message& pdu,
                            std::vector<uint8_t>& out) {
  out.clear();
  if (pdu.version != Version::kV3) return CodecStatus::kBadVersion;
  if (fields.context_engine_id.size() > kMaxEngineIdLength ||
      fields.context_name.size() > kMaxContextNameLength)
    return CodecStatus::kBadV3Header;
  BerWriter writer(out);
  const size_t whole = writer.Begin(ber::kSequence);
  writer.Bytes(ber::kOctetString, fields.context_engine_id);
  writer.Bytes(ber::kOctetString, fields.context_name);
  VEXA_CODEC_TRY(EncodePdu(writer, pdu));
  writer.End(whole);
  return CodecStatus::kOk;
}

CodecStatus EncodeV3Message(int32_t msg_id, int32_t max_size, uint8_t flags,
                            const UsmParameters& usm, std::span<const uint8_t> msg_data,
                            bool encrypted, std::vector<uint8_t>& out, size_t& auth_offset) {
  out.clear();
  if (msg_id < 0 || max_size < kMinMsgMaxSize) return CodecStatus::kBadV3Header;
  if (usm.engine_id.size() > kMaxEngineIdLength || usm.user_name.size() > kMaxUserNameLength ||
      usm.engine_boots < 0 || usm.engine_time < 0)
    return CodecStatus::kBadSecurityParameters;

  BerWriter writer(out);
  const size_t whole = writer.Begin(ber::kSequence);
  writer.Integer(ber::kInteger, kMsgVersion);
  const size_t header = writer.Begin(ber::kSequence);
  writer.Integer(ber::kInteger, msg_id);
  writer.Integer(ber::kInteger, max_size);
  writer.Bytes(ber::kOctetString, std::string_view(reinterpret_cast<const char*>(&flags), 1));
  writer.Integer(ber::kInteger, kUsmSecurityModel);
  writer.End(header);

  // msgSecurityParameters: an OCTET STRING wrapped around the BER of the
  // UsmSecurityParameters sequence.
  const size_t wrapper = writer.Begin(ber::kOctetString);
  const size_t parameters = writer.Begin(ber::kSequence);
  writer.Bytes(ber::kOctetString, usm.engine_id);
  writer.Integer(ber::kInteger, usm.engine_boots);
  writer.Integer(ber::kInteger, usm.engine_time);
  writer.Bytes(ber::kOctetString, usm.user_name);
  writer.Bytes(ber::kOctetString, usm.auth_params);
  writer.Bytes(ber::kOctetString, usm.priv_params);
  writer.End(parameters);
  writer.End(wrapper);

  if (encrypted)
    writer.Bytes(ber::kOctetString, AsText(msg_data));
  else
    out.insert(out.end(), msg_data.begin(), msg_data.end());
  writer.End(whole);
  if (out.size() > kMaxDatagram) return CodecStatus::kMessageTooLarge;

  // Only msgData and msgPrivacyParameters follow the MAC's octets.
  const size_t data_size = encrypted ? ElementSize(msg_data.size()) : msg_data.size();
  auth_offset =
      out.size() - data_size - ElementSize(usm.priv_params.size()) - usm.auth_params.size();
  return CodecStatus::kOk;
}

}  // namespace vexa::snmp

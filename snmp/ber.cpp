#include "snmp/ber.h"

#include <charconv>

namespace vexa::snmp {

const char* Describe(CodecStatus status) {
  switch (status) {
    case CodecStatus::kOk:
      return "ok";
    case CodecStatus::kTruncated:
      return "element truncated";
    case CodecStatus::kLengthPastEnd:
      return "length runs past the end of the data";
    case CodecStatus::kIndefiniteLength:
      return "indefinite length not allowed";
    case CodecStatus::kLengthTooLong:
      return "length field too long";
    case CodecStatus::kHighTagNumber:
      return "multi-octet tag not allowed";
    case CodecStatus::kUnexpectedTag:
      return "unexpected tag";
    case CodecStatus::kTrailingBytes:
      return "trailing bytes after the last element";
    case CodecStatus::kEmptyInteger:
      return "integer without content";
    case CodecStatus::kIntegerTooLong:
      return "integer too long for its type";
    case CodecStatus::kBadOid:
      return "malformed object identifier";
    case CodecStatus::kOidArcOverflow:
      return "object identifier arc above 4294967295";
    case CodecStatus::kOidTooLong:
      return "object identifier longer than 128 arcs";
    case CodecStatus::kBadNull:
      return "null value with content";
    case CodecStatus::kBadIpAddress:
      return "IpAddress not four octets";
    case CodecStatus::kBadVersion:
      return "unsupported SNMP version";
    case CodecStatus::kBadPduType:
      return "unsupported PDU type";
    case CodecStatus::kSyntaxNotInVersion:
      return "value type not allowed in SNMPv1";
    case CodecStatus::kBadV3Header:
      return "SNMPv3 header field out of range";
    case CodecStatus::kUnsupportedSecurityModel:
      return "security model other than USM";
    case CodecStatus::kBadSecurityParameters:
      return "USM security parameters out of range";
    case CodecStatus::kBadOidText:
      return "object identifier text is not valid dotted decimal";
    case CodecStatus::kBadValueText:
      return "value text does not fit the value type";
    case CodecStatus::kUnsupportedSyntax:
      return "unsupported value type";
    case CodecStatus::kMessageTooLarge:
      return "message too large for one datagram";
  }
  return "unknown codec status";
}

// ---------------------------------------------------------------------------
// Reading

CodecStatus BerReader::Next(Tlv& out) {
  const size_t left = data_.size() - pos_;
  if (left < 2) return CodecStatus::kTruncated;  // tag and first length octet
  const uint8_t tag = data_[pos_];
  // X.690 8.1.2.4: low five bits all ones announce further tag octets.
  if ((tag & 0x1F) == 0x1F) return CodecStatus::kHighTagNumber;

  const uint8_t first = data_[pos_ + 1];
  size_t header = 2;
  size_t length = first;
  if (first == 0x80) return CodecStatus::kIndefiniteLength;  // X.690 8.1.3.6
  if (first > 0x80) {
    // Long form (X.690 8.1.3.5): the low seven bits count the length octets.
    // Four are plenty for a datagram; 0xFF (127 octets) is reserved anyway.
    const size_t count = first & 0x7F;
    if (count > 4) return CodecStatus::kLengthTooLong;
    if (left - 2 < count) return CodecStatus::kTruncated;
    length = 0;
    for (size_t i = 0; i < count; ++i) length = (length << 8) | data_[pos_ + 2 + i];
    header += count;
  }
  if (length > left - header) return CodecStatus::kLengthPastEnd;

  out.tag = tag;
  out.content = data_.subspan(pos_ + header, length);
  pos_ += header + length;
  return CodecStatus::kOk;
}

CodecStatus BerReader::Expect(uint8_t tag, std::span<const uint8_t>& content) {
  const size_t saved = pos_;
  Tlv tlv;
  const CodecStatus status = Next(tlv);
  if (status != CodecStatus::kOk) return status;
  if (tlv.tag != tag) {
    pos_ = saved;
    return CodecStatus::kUnexpectedTag;
  }
  content = tlv.content;
  return CodecStatus::kOk;
}

CodecStatus DecodeInt32(std::span<const uint8_t> content, int32_t& value) {
  if (content.empty()) return CodecStatus::kEmptyInteger;  // X.690 8.3.1
  // Skip lead octets that only repeat the sign of the next one.
  while (content.size() > 1 && ((content[0] == 0x00 && (content[1] & 0x80) == 0) ||
                                (content[0] == 0xFF && (content[1] & 0x80) != 0)))
    content = content.subspan(1);
  if (content.size() > 4) return CodecStatus::kIntegerTooLong;
  // Sign-extend from the first octet, then shift the rest in.
  uint32_t bits = (content[0] & 0x80) != 0 ? 0xFFFFFFFFu : 0u;
  for (const uint8_t octet : content) bits = (bits << 8) | octet;
  value = static_cast<int32_t>(bits);
  return CodecStatus::kOk;
}

CodecStatus DecodeUnsigned(std::span<const uint8_t> content, size_t value_octets, uint64_t& value) {
  if (content.empty()) return CodecStatus::kEmptyInteger;
  while (content.size() > 1 && content[0] == 0x00) content = content.subspan(1);
  if (content.size() > value_octets) return CodecStatus::kIntegerTooLong;
  uint64_t v = 0;
  for (const uint8_t octet : content) v = (v << 8) | octet;
  value = v;
  return CodecStatus::kOk;
}

namespace {

void AppendDecimal(std::string& text, uint64_t value) {
  char digits[20];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  text.append(digits, result.ptr);
}

}  // namespace

CodecStatus AppendOidText(std::span<const uint8_t> content, std::string& text) {
  // X.690 8.19: sub-identifiers in base 128, high bit set on every octet but
  // the last; the first sub-identifier packs the first two arcs as X*40+Y.
  if (content.empty()) return CodecStatus::kBadOid;
  uint64_t value = 0;
  bool inside = false;
  bool first = true;
  size_t arcs = 0;
  for (const uint8_t octet : content) {
    // 8.19.2: the lead octet of a sub-identifier is never 0x80 (no padding).
    if (!inside && octet == 0x80) return CodecStatus::kBadOid;
    inside = true;
    value = (value << 7) | (octet & 0x7F);
    if (value > 0xFFFFFFFFu) return CodecStatus::kOidArcOverflow;
    if ((octet & 0x80) != 0) continue;

    if (first) {
      const uint64_t x = value < 40 ? 0 : (value < 80 ? 1 : 2);
      AppendDecimal(text, x);
      text.push_back('.');
      AppendDecimal(text, value - x * 40);
      arcs = 2;
      first = false;
    } else {
      if (arcs == ber::kMaxOidArcs) return CodecStatus::kOidTooLong;
      text.push_back('.');
      AppendDecimal(text, value);
      ++arcs;
    }
    value = 0;
    inside = false;
  }
  if (inside) return CodecStatus::kBadOid;  // the last octet still had its high bit set
  return CodecStatus::kOk;
}

CodecStatus ParseOidText(std::string_view text, OidArcs& arcs) {
  arcs.count = 0;
  if (!text.empty() && text.front() == '.') text.remove_prefix(1);
  size_t i = 0;
  while (true) {
    if (i >= text.size() || text[i] < '0' || text[i] > '9') return CodecStatus::kBadOidText;
    uint64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      value = value * 10 + static_cast<uint64_t>(text[i] - '0');
      if (value > 0xFFFFFFFFu) return CodecStatus::kOidArcOverflow;
      ++i;
    }
    if (arcs.count == ber::kMaxOidArcs) return CodecStatus::kOidTooLong;
    arcs.arc[arcs.count++] = static_cast<uint32_t>(value);
    if (i == text.size()) break;
    if (text[i] != '.') return CodecStatus::kBadOidText;
    ++i;  // a digit must follow: no empty arc, no trailing dot
  }
  if (arcs.count < 2 || arcs.arc[0] > 2) return CodecStatus::kBadOidText;
  if (arcs.arc[0] < 2 && arcs.arc[1] >= 40) return CodecStatus::kBadOidText;
  // The packed first sub-identifier must itself fit in 32 bits.
  if (arcs.arc[0] == 2 && arcs.arc[1] > 0xFFFFFFFFu - 80) return CodecStatus::kOidArcOverflow;
  return CodecStatus::kOk;
}

// ---------------------------------------------------------------------------
// Writing

namespace {

// Length octets: short form below 128, else the shortest long form.
size_t LengthOctets(size_t length, uint8_t (&octets)[5]) {
  if (length < 0x80) {
    octets[0] = static_cast<uint8_t>(length);
    return 1;
  }
  size_t count = 0;
  for (size_t v = length; v != 0; v >>= 8) ++count;
  octets[0] = static_cast<uint8_t>(0x80 | count);
  for (size_t i = 0; i < count; ++i) octets[count - i] = static_cast<uint8_t>(length >> (8 * i));
  return count + 1;
}

void AppendBase128(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t groups[5];
  size_t count = 0;
  do {
    groups[count++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
  out.push_back(groups[0]);
}

}  // namespace

size_t ElementSize(size_t content_length) {
  uint8_t octets[5];
  return 1 + LengthOctets(content_length, octets) + content_length;
}

void BerWriter::Header(uint8_t tag, size_t length) {
  uint8_t octets[5];
  const size_t count = LengthOctets(length, octets);
  out_.push_back(tag);
  out_.insert(out_.end(), octets, octets + count);
}

void BerWriter::Integer(uint8_t tag, int32_t value) {
  uint8_t octets[4];
  const auto bits = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) octets[i] = static_cast<uint8_t>(bits >> (24 - 8 * i));
  // X.690 8.3.2: drop a lead octet that only repeats the sign of the next one.
  size_t start = 0;
  while (start < 3 && ((octets[start] == 0x00 && (octets[start + 1] & 0x80) == 0) ||
                       (octets[start] == 0xFF && (octets[start + 1] & 0x80) != 0)))
    ++start;
  Header(tag, 4 - start);
  out_.insert(out_.end(), octets + start, octets + 4);
}

void BerWriter::Unsigned(uint8_t tag, uint64_t value) {
  uint8_t octets[9];
  octets[0] = 0;
  for (size_t i = 0; i < 8; ++i) octets[1 + i] = static_cast<uint8_t>(value >> (56 - 8 * i));
  size_t start = 0;
  while (start < 8 && octets[start] == 0x00 && (octets[start + 1] & 0x80) == 0) ++start;
  Header(tag, 9 - start);
  out_.insert(out_.end(), octets + start, octets + 9);
}

void BerWriter::Bytes(uint8_t tag, std::string_view bytes) {
  Header(tag, bytes.size());
  out_.insert(out_.end(), bytes.begin(), bytes.end());
}

void BerWriter::Empty(uint8_t tag) {
  Header(tag, 0);
}

void BerWriter::Oid(const OidArcs& arcs) {
  const size_t mark = Begin(ber::kObjectIdentifier);
  if (arcs.count >= 2) {
    AppendBase128(out_, arcs.arc[0] * 40 + arcs.arc[1]);
    for (size_t i = 2; i < arcs.count; ++i) AppendBase128(out_, arcs.arc[i]);
  }
  End(mark);
}

size_t BerWriter::Begin(uint8_t tag) {
  out_.push_back(tag);
  return out_.size() - 1;
}

void BerWriter::End(size_t mark) {
  const size_t length = out_.size() - mark - 1;
  uint8_t octets[5];
  const size_t count = LengthOctets(length, octets);
  out_.insert(out_.begin() + static_cast<std::ptrdiff_t>(mark + 1), octets, octets + count);
}

}  // namespace vexa::snmp

// BER primitives: element framing, integers at their type limits, object
// identifiers, and the writer's shortest forms.
#include "snmp/ber.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "hex.h"

namespace vexa::snmp {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;

CodecStatus ReadOne(const Bytes& data, Tlv& tlv) {
  BerReader reader(data);
  return reader.Next(tlv);
}

TEST(SnmpBerReader, ShortAndLongDefiniteLengths) {
  Tlv tlv;
  ASSERT_EQ(ReadOne(Hex("04 03 61 62 63"), tlv), CodecStatus::kOk);
  EXPECT_EQ(tlv.tag, 0x04);
  EXPECT_EQ(tlv.content.size(), 3u);

  Bytes long_form = Hex("04 81 80");
  long_form.resize(3 + 128, 'x');
  ASSERT_EQ(ReadOne(long_form, tlv), CodecStatus::kOk);
  EXPECT_EQ(tlv.content.size(), 128u);

  // BER (unlike DER) allows a long form where the short one would do.
  ASSERT_EQ(ReadOne(Hex("04 81 02 61 62"), tlv), CodecStatus::kOk);
  EXPECT_EQ(tlv.content.size(), 2u);
  ASSERT_EQ(ReadOne(Hex("05 00"), tlv), CodecStatus::kOk);
  EXPECT_TRUE(tlv.content.empty());
}

TEST(SnmpBerReader, RefusesBrokenFramingWithoutMoving) {
  const struct {
    const char* name;
    const char* hex;
    CodecStatus expected;
  } cases[] = {
      {"empty", "", CodecStatus::kTruncated},
      {"tag only", "30", CodecStatus::kTruncated},
      {"indefinite length", "30 80 05 00 00 00", CodecStatus::kIndefiniteLength},
      {"five length octets", "04 85 00 00 00 00 01 41", CodecStatus::kLengthTooLong},
      {"reserved length octet", "04 FF 01", CodecStatus::kLengthTooLong},
      {"long length cut short", "04 82 01", CodecStatus::kTruncated},
      {"length past end", "04 05 61 62 63", CodecStatus::kLengthPastEnd},
      {"negative-looking long length", "04 84 FF FF FF FF 61", CodecStatus::kLengthPastEnd},
      {"multi-octet tag", "1F 81 00 00", CodecStatus::kHighTagNumber},
  };
  for (const auto& c : cases) {
    const Bytes data = Hex(c.hex);
    BerReader reader(data);
    Tlv tlv;
    EXPECT_EQ(reader.Next(tlv), c.expected) << c.name;
    EXPECT_EQ(reader.AtEnd(), data.empty()) << c.name << ": the reader moved on a failure";
  }
}

TEST(SnmpBerReader, ExpectChecksTagAndStaysPutOnMismatch) {
  const Bytes data = Hex("02 01 05 04 00");
  BerReader reader(data);
  std::span<const uint8_t> content;
  EXPECT_EQ(reader.Expect(0x04, content), CodecStatus::kUnexpectedTag);
  ASSERT_EQ(reader.Expect(0x02, content), CodecStatus::kOk);
  ASSERT_EQ(reader.Expect(0x04, content), CodecStatus::kOk);
  EXPECT_TRUE(reader.AtEnd());
}

TEST(SnmpBerIntegers, SignedAtTheLimitsOfInteger32) {
  const struct {
    const char* hex;
    int32_t value;
  } cases[] = {
      {"00", 0},
      {"7F", 127},
      {"00 80", 128},
      {"FF", -1},
      {"80", -128},
      {"FF 7F", -129},
      {"7F FF FF FF", std::numeric_limits<int32_t>::max()},
      {"80 00 00 00", std::numeric_limits<int32_t>::min()},
      // Redundant sign octets, as snmpsim sends -2^31.
      {"FF 80 00 00 00", std::numeric_limits<int32_t>::min()},
      {"00 00 00 00 01", 1},
  };
  for (const auto& c : cases) {
    int32_t value = 12345;
    EXPECT_EQ(DecodeInt32(Hex(c.hex), value), CodecStatus::kOk) << c.hex;
    EXPECT_EQ(value, c.value) << c.hex;
  }
  int32_t value = 0;
  EXPECT_EQ(DecodeInt32(Hex(""), value), CodecStatus::kEmptyInteger);
  EXPECT_EQ(DecodeInt32(Hex("00 80 00 00 00"), value), CodecStatus::kIntegerTooLong);  // 2^31
  EXPECT_EQ(DecodeInt32(Hex("FF 7F FF FF FF"), value), CodecStatus::kIntegerTooLong);  // -2^31-1
  EXPECT_EQ(DecodeInt32(Hex("01 00 00 00 00"), value), CodecStatus::kIntegerTooLong);
}

TEST(SnmpBerIntegers, UnsignedAtTheLimitsOfTheirTypes) {
  uint64_t value = 0;
  ASSERT_EQ(DecodeUnsigned(Hex("00 FF FF FF FF"), 4, value), CodecStatus::kOk);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  // Without the 0x00 pad the one bit is still magnitude.
  ASSERT_EQ(DecodeUnsigned(Hex("FF FF FF FF"), 4, value), CodecStatus::kOk);
  EXPECT_EQ(value, 0xFFFFFFFFu);
  ASSERT_EQ(DecodeUnsigned(Hex("80"), 4, value), CodecStatus::kOk);
  EXPECT_EQ(value, 128u);
  ASSERT_EQ(DecodeUnsigned(Hex("00 00 00 00 00 00 2A"), 4, value), CodecStatus::kOk);
  EXPECT_EQ(value, 42u);
  EXPECT_EQ(DecodeUnsigned(Hex("01 00 00 00 00"), 4, value), CodecStatus::kIntegerTooLong);
  EXPECT_EQ(DecodeUnsigned(Hex(""), 4, value), CodecStatus::kEmptyInteger);

  ASSERT_EQ(DecodeUnsigned(Hex("00 FF FF FF FF FF FF FF FF"), 8, value), CodecStatus::kOk);
  EXPECT_EQ(value, std::numeric_limits<uint64_t>::max());
  EXPECT_EQ(DecodeUnsigned(Hex("01 00 00 00 00 00 00 00 00"), 8, value),
            CodecStatus::kIntegerTooLong);
}

TEST(SnmpBerWriter, ShortestIntegerForms) {
  const struct {
    int32_t value;
    const char* hex;
  } signed_cases[] = {
      {0, "02 01 00"},
      {127, "02 01 7F"},
      {128, "02 02 00 80"},
      {-1, "02 01 FF"},
      {-128, "02 01 80"},
      {-129, "02 02 FF 7F"},
      {std::numeric_limits<int32_t>::min(), "02 04 80 00 00 00"},
      {std::numeric_limits<int32_t>::max(), "02 04 7F FF FF FF"},
  };
  for (const auto& c : signed_cases) {
    Bytes out;
    BerWriter(out).Integer(0x02, c.value);
    EXPECT_EQ(ToHex(out), c.hex) << c.value;
  }
  const struct {
    uint8_t tag;
    uint64_t value;
    const char* hex;
  } unsigned_cases[] = {
      {0x41, 0, "41 01 00"},
      {0x41, 0x80, "41 02 00 80"},
      {0x42, 0xFFFFFFFFu, "42 05 00 FF FF FF FF"},
      {0x46, std::numeric_limits<uint64_t>::max(), "46 09 00 FF FF FF FF FF FF FF FF"},
      {0x46, 0x100000000u, "46 05 01 00 00 00 00"},
  };
  for (const auto& c : unsigned_cases) {
    Bytes out;
    BerWriter(out).Unsigned(c.tag, c.value);
    EXPECT_EQ(ToHex(out), c.hex) << c.value;
  }
}

TEST(SnmpBerWriter, LengthsSwitchToLongFormAt128) {
  for (const size_t size : {0u, 127u, 128u, 255u, 256u, 70000u}) {
    Bytes out;
    BerWriter writer(out);
    const size_t mark = writer.Begin(0x30);
    writer.Bytes(0x04, std::string(size, 'a'));
    writer.End(mark);
    BerReader reader(out);
    Tlv outer;
    ASSERT_EQ(reader.Next(outer), CodecStatus::kOk) << size;
    EXPECT_TRUE(reader.AtEnd());
    BerReader inner(outer.content);
    Tlv string;
    ASSERT_EQ(inner.Next(string), CodecStatus::kOk) << size;
    EXPECT_EQ(string.content.size(), size);
    const size_t header = size < 128 ? 2 : (size < 256 ? 3 : (size < 65536 ? 4 : 5));
    EXPECT_EQ(outer.content.size(), header + size);
  }
}

std::string OidText(const char* hex, CodecStatus* status = nullptr) {
  std::string text;
  const CodecStatus s = AppendOidText(Hex(hex), text);
  if (status != nullptr) *status = s;
  return text;
}

TEST(SnmpBerOid, DecodesFirstArcPairAndLargeArcs) {
  EXPECT_EQ(OidText("2B 06 01 02 01 04 16 01 01"), "1.3.6.1.2.1.4.22.1.1");
  EXPECT_EQ(OidText("00"), "0.0");
  EXPECT_EQ(OidText("27"), "0.39");
  EXPECT_EQ(OidText("28"), "1.0");
  EXPECT_EQ(OidText("4F"), "1.39");
  EXPECT_EQ(OidText("50"), "2.0");
  EXPECT_EQ(OidText("88 37"), "2.999");  // the X.690 example
  EXPECT_EQ(OidText("2B 8F FF FF FF 7F"), "1.3.4294967295");
  EXPECT_EQ(OidText("2B 06 01 04 01 BF 08 03 02 0A"), "1.3.6.1.4.1.8072.3.2.10");
}

TEST(SnmpBerOid, RefusesMalformedContent) {
  CodecStatus status;
  OidText("", &status);
  EXPECT_EQ(status, CodecStatus::kBadOid) << "empty";
  OidText("2B 80 01", &status);
  EXPECT_EQ(status, CodecStatus::kBadOid) << "0x80 lead octet";
  OidText("2B 06 86", &status);
  EXPECT_EQ(status, CodecStatus::kBadOid) << "last sub-identifier unfinished";
  OidText("2B 90 80 80 80 00", &status);
  EXPECT_EQ(status, CodecStatus::kOidArcOverflow) << "2^32";
  OidText("2B FF FF FF FF FF FF FF FF FF FF 7F", &status);
  EXPECT_EQ(status, CodecStatus::kOidArcOverflow) << "far past 2^32";

  std::string max_arcs = "2B";
  for (int i = 2; i < 128; ++i) max_arcs += " 01";
  OidText(max_arcs.c_str(), &status);
  EXPECT_EQ(status, CodecStatus::kOk) << "128 arcs";
  OidText((max_arcs + " 01").c_str(), &status);
  EXPECT_EQ(status, CodecStatus::kOidTooLong) << "129 arcs";
}

TEST(SnmpBerOid, TextParsingAndRoundTrip) {
  for (const char* text : {"1.3.6.1.2.1.4.22.1.1", "0.0", "1.39", "2.999", "2.4294967215",
                           "1.3.6.1.2.1.4.22.1.3.3.10.0.0.5", "1.3.4294967295.0"}) {
    OidArcs arcs;
    ASSERT_EQ(ParseOidText(text, arcs), CodecStatus::kOk) << text;
    Bytes out;
    BerWriter(out).Oid(arcs);
    Tlv tlv;
    ASSERT_EQ(ReadOne(out, tlv), CodecStatus::kOk);
    EXPECT_EQ(tlv.tag, 0x06);
    std::string back;
    ASSERT_EQ(AppendOidText(tlv.content, back), CodecStatus::kOk);
    EXPECT_EQ(back, text);
  }
  OidArcs arcs;
  EXPECT_EQ(ParseOidText(".1.3.6.1", arcs), CodecStatus::kOk);
  EXPECT_EQ(arcs.count, 4u);

  for (const char* bad : {"", ".", "1", "3.1", "0.40", "1.40", "1..3", "1.3.", "1.3.a", "1.3.-1",
                          " 1.3", "1.3 ", "1,3"})
    EXPECT_EQ(ParseOidText(bad, arcs), CodecStatus::kBadOidText) << '"' << bad << '"';
  EXPECT_EQ(ParseOidText("1.3.4294967296", arcs), CodecStatus::kOidArcOverflow);
  EXPECT_EQ(ParseOidText("2.4294967216", arcs), CodecStatus::kOidArcOverflow);
  std::string long_text = "1.3";
  for (int i = 2; i < 129; ++i) long_text += ".1";
  EXPECT_EQ(ParseOidText(long_text, arcs), CodecStatus::kOidTooLong);
}

}  // namespace
}  // namespace vexa::snmp

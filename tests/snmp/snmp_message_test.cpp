// Whole SNMP messages: datagrams captured from real agents decode to the
// expected bindings, requests encode byte for byte as net-snmp's tools send
// them, and a table of malformed datagrams, each named for the fault it
// guards, is refused for that fault.
//
// Setting VEXA_SNMP_WRITE_CORPUS=<dir> makes SnmpMessageCorpus.WriteSeeds
// write every datagram of this file into <dir>, one file each: that is how
// fuzz/corpus/snmp is made.
#include "snmp/snmp_message.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "captured_packets.h"
#include "hex.h"

namespace vexa::snmp {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;
namespace captured = test::captured;

Message Decoded(const char* hex) {
  Message m;
  const CodecStatus status = DecodeMessage(Hex(hex), m);
  EXPECT_EQ(status, CodecStatus::kOk) << Describe(status);
  return m;
}

void ExpectBinding(const VarBind& b, const std::string& oid, int type, const std::string& value) {
  EXPECT_EQ(b.oid, oid);
  EXPECT_EQ(b.type(), type) << b.oid;
  EXPECT_EQ(b.value, value) << b.oid;
}

TEST(SnmpMessageCaptures, ArpTableRowsFromSnmpd) {
  const Message first = Decoded(captured::kArpFirstRowResponse);
  EXPECT_EQ(first.version, Version::kV2c);
  EXPECT_EQ(first.community, "public");
  EXPECT_EQ(first.pdu_type, pdu::kResponse);
  EXPECT_EQ(first.request_id, 0x1F2038E8);
  EXPECT_EQ(first.error_status, 0);
  EXPECT_EQ(first.error_index, 0);
  ASSERT_EQ(first.bindings.size(), 4u);
  ExpectBinding(first.bindings[0], "1.3.6.1.2.1.4.22.1.1.2.10.9.0.5", syntax::kInteger, "2");
  ExpectBinding(first.bindings[1], "1.3.6.1.2.1.4.22.1.3.2.10.9.0.5", syntax::kIpAddress,
                "10.9.0.5");
  ExpectBinding(first.bindings[2], "1.3.6.1.2.1.4.22.1.2.2.10.9.0.5", syntax::kOctetString,
                std::string("\x00\x1a\x2b\x3c\x4d\x60", 6));
  ExpectBinding(first.bindings[3], "1.3.6.1.2.1.4.22.1.4.2.10.9.0.5", syntax::kInteger, "4");

  const Message second = Decoded(captured::kArpSecondRowResponse);
  EXPECT_EQ(second.request_id, 0x559B5A8E);
  ASSERT_EQ(second.bindings.size(), 4u);
  ExpectBinding(second.bindings[1], "1.3.6.1.2.1.4.22.1.3.2.10.9.1.5", syntax::kIpAddress,
                "10.9.1.5");
  ExpectBinding(second.bindings[2], "1.3.6.1.2.1.4.22.1.2.2.10.9.1.5", syntax::kOctetString,
                std::string("\x00\x1a\x2b\x3c\x4d\x5f", 6));

  const Message v1 = Decoded(captured::kArpFirstRowV1Response);
  EXPECT_EQ(v1.version, Version::kV1);
  EXPECT_EQ(v1.bindings, first.bindings);
}

TEST(SnmpMessageCaptures, GetBulkAnswersRowByRow) {
  const Message request = Decoded(captured::kSimArpBulkRequest);
  EXPECT_EQ(request.pdu_type, pdu::kGetBulkRequest);
  EXPECT_EQ(request.error_status, 0);  // non-repeaters
  EXPECT_EQ(request.error_index, 2);   // max-repetitions
  const Message m = Decoded(captured::kSimArpBulkResponse);
  EXPECT_EQ(m.request_id, 0x4CCE6ED0);
  ASSERT_EQ(m.bindings.size(), 8u);
  ExpectBinding(m.bindings[3], "1.3.6.1.2.1.4.22.1.4.1.10.40.0.1", syntax::kInteger, "3");
  ExpectBinding(m.bindings[5], "1.3.6.1.2.1.4.22.1.3.1.10.40.0.3", syntax::kIpAddress, "10.40.0.3");
}

TEST(SnmpMessageCaptures, WalkPastTheLastRowLeavesTheColumns) {
  // Asked for the rows after the last one, each binding moves to the next
  // column, and the last column to the object after the table.
  const Message m = Decoded(captured::kArpPastEndResponse);
  ASSERT_EQ(m.bindings.size(), 4u);
  ExpectBinding(m.bindings[0], "1.3.6.1.2.1.4.22.1.2.2.10.9.0.5", syntax::kOctetString,
                std::string("\x00\x1a\x2b\x3c\x4d\x60", 6));
  ExpectBinding(m.bindings[1], "1.3.6.1.2.1.4.22.1.4.2.10.9.0.5", syntax::kInteger, "4");
  ExpectBinding(m.bindings[2], "1.3.6.1.2.1.4.22.1.3.2.10.9.0.5", syntax::kIpAddress, "10.9.0.5");
  ExpectBinding(m.bindings[3], "1.3.6.1.2.1.4.23.0", syntax::kCounter32, "0");
}

TEST(SnmpMessageCaptures, BindingsWithoutValueHaveTypeZero) {
  const Message end = Decoded(captured::kEndOfMibViewResponse);
  ASSERT_EQ(end.bindings.size(), 1u);
  ExpectBinding(end.bindings[0], "1.3.6.1.6.3.99", 0, "");
  EXPECT_EQ(end.bindings[0].syntax, syntax::kEndOfMibView);

  const Message missing = Decoded(captured::kNoSuchObjectAndInstanceResponse);
  ASSERT_EQ(missing.bindings.size(), 2u);
  ExpectBinding(missing.bindings[0], "1.3.6.1.2.1.99.0", 0, "");
  EXPECT_EQ(missing.bindings[0].syntax, syntax::kNoSuchObject);
  ExpectBinding(missing.bindings[1], "1.3.6.1.2.1.1.1.1", 0, "");
  EXPECT_EQ(missing.bindings[1].syntax, syntax::kNoSuchInstance);
}

TEST(SnmpMessageCaptures, ErrorStatusAndIndex) {
  // v1 get-next past everything: noSuchName (2) on binding 1, NULL value.
  const Message v1 = Decoded(captured::kV1NoSuchNameResponse);
  EXPECT_EQ(v1.version, Version::kV1);
  EXPECT_EQ(v1.error_status, 2);
  EXPECT_EQ(v1.error_index, 1);
  ASSERT_EQ(v1.bindings.size(), 1u);
  ExpectBinding(v1.bindings[0], "1.3.6.1.6.3.99", 0, "");

  // v2c set with a read-only community: noAccess (6) on binding 1.
  const Message denied = Decoded(captured::kNoAccessResponse);
  EXPECT_EQ(denied.error_status, 6);
  EXPECT_EQ(denied.error_index, 1);
  ASSERT_EQ(denied.bindings.size(), 1u);
  ExpectBinding(denied.bindings[0], "1.3.6.1.2.1.1.5.0", syntax::kOctetString, "x");
}

TEST(SnmpMessageCaptures, ApplicationTypes) {
  const Message m = Decoded(captured::kCountersResponse);
  ASSERT_EQ(m.bindings.size(), 5u);
  ExpectBinding(m.bindings[0], "1.3.6.1.2.1.31.1.1.1.6.1", syntax::kCounter64, "3282");
  ExpectBinding(m.bindings[1], "1.3.6.1.2.1.2.2.1.10.1", syntax::kCounter32, "3282");
  ExpectBinding(m.bindings[2], "1.3.6.1.2.1.2.2.1.5.1", syntax::kGauge32, "10000000");
  ExpectBinding(m.bindings[3], "1.3.6.1.2.1.1.3.0", syntax::kTimeTicks, "1196");
  ExpectBinding(m.bindings[4], "1.3.6.1.2.1.1.2.0", syntax::kObjectIdentifier,
                "1.3.6.1.4.1.8072.3.2.10");

  const Message opaque = Decoded(captured::kOpaqueResponse);
  ASSERT_EQ(opaque.bindings.size(), 1u);
  ExpectBinding(opaque.bindings[0], "1.3.6.1.4.1.2021.10.1.6.1", syntax::kOpaque,
                std::string("\x9f\x78\x04\x3e\x32\x00\x00", 7));

  const Message text = Decoded(captured::kOctetStringResponse);
  ASSERT_EQ(text.bindings.size(), 1u);
  ExpectBinding(text.bindings[0], "1.3.6.1.2.1.1.5.0", syntax::kOctetString, "vm");
}

TEST(SnmpMessageCaptures, ValuesAtTheirLimitsFromSnmpsim) {
  const Message counters = Decoded(captured::kSimCounterLimitsResponse);
  ASSERT_EQ(counters.bindings.size(), 4u);
  ExpectBinding(counters.bindings[0], "1.3.6.1.2.1.31.1.1.1.6.1", syntax::kCounter64,
                "18446744073709551615");
  ExpectBinding(counters.bindings[1], "1.3.6.1.2.1.31.1.1.1.6.2", syntax::kCounter64, "4294967296");
  ExpectBinding(counters.bindings[2], "1.3.6.1.2.1.2.2.1.10.1", syntax::kCounter32, "4294967295");
  ExpectBinding(counters.bindings[3], "1.3.6.1.2.1.2.2.1.5.1", syntax::kGauge32, "2147483648");

  const Message integers = Decoded(captured::kSimIntegerLimitsResponse);
  ASSERT_EQ(integers.bindings.size(), 4u);
  ExpectBinding(integers.bindings[0], "1.3.6.1.4.1.99999.1.0", syntax::kInteger, "-1");
  // Sent in five octets (FF 80 00 00 00), one more than needed.
  ExpectBinding(integers.bindings[1], "1.3.6.1.4.1.99999.2.0", syntax::kInteger, "-2147483648");
  ExpectBinding(integers.bindings[2], "1.3.6.1.4.1.99999.3.0", syntax::kInteger, "2147483647");
  ExpectBinding(integers.bindings[3], "1.3.6.1.4.1.99999.4.0", syntax::kTimeTicks, "4294967295");
}

// The ARP walk's requests, built as the collector builds them, match what
// snmpgetnext and snmpbulkget sent for the same request identifier byte for
// byte.
TEST(SnmpMessageEncode, WalkRequestsMatchNetSnmp) {
  const char* columns[] = {"1.3.6.1.2.1.4.22.1.1", "1.3.6.1.2.1.4.22.1.3", "1.3.6.1.2.1.4.22.1.2",
                           "1.3.6.1.2.1.4.22.1.4"};
  const struct {
    Version version;
    int32_t request_id;
    std::string row_index;
    const char* expected;
    int32_t repetitions = 0;  // GETBULK when above 0
  } cases[] = {
      {Version::kV2c, 0x1F2038E8, "", captured::kArpFirstRowRequest},
      {Version::kV2c, 0x559B5A8E, ".2.10.9.0.5", captured::kArpSecondRowRequest},
      {Version::kV1, 0x49E46E56, "", captured::kArpFirstRowV1Request},
      {Version::kV2c, 0x4CCE6ED0, "", captured::kSimArpBulkRequest, 2},
  };
  for (const auto& c : cases) {
    Message m;
    m.Reset();
    m.version = c.version;
    m.pdu_type = pdu::kGetNextRequest;
    m.community = "public";
    m.request_id = c.request_id;
    for (const char* column : columns) m.AddBinding(std::string(column) + c.row_index);
    if (c.repetitions > 0) m.SetBulk(0, c.repetitions);
    Bytes out;
    ASSERT_EQ(EncodeMessage(m, out), CodecStatus::kOk);
    EXPECT_EQ(ToHex(out), ToHex(Hex(c.expected)));
  }
}

TEST(SnmpMessageEncode, NetSnmpResponsesReencodeIdentically) {
  // net-snmp writes the shortest forms, as the encoder does, so a decoded
  // response encodes back to the very same bytes.
  for (const char* hex :
       {captured::kArpFirstRowResponse, captured::kArpSecondRowResponse,
        captured::kArpPastEndResponse, captured::kArpFirstRowV1Response,
        captured::kEndOfMibViewResponse, captured::kV1NoSuchNameResponse,
        captured::kNoSuchObjectAndInstanceResponse, captured::kCountersResponse,
        captured::kOpaqueResponse, captured::kOctetStringResponse, captured::kNoAccessResponse}) {
    Message m;
    ASSERT_EQ(DecodeMessage(Hex(hex), m), CodecStatus::kOk);
    Bytes out;
    ASSERT_EQ(EncodeMessage(m, out), CodecStatus::kOk);
    EXPECT_EQ(ToHex(out), ToHex(Hex(hex)));
  }
}

TEST(SnmpMessageEncode, EveryValueTypeSurvivesTheRoundTrip) {
  Message m;
  m.pdu_type = pdu::kResponse;
  m.community = std::string("c\0mm", 4);
  m.request_id = -5;
  m.error_status = 18;
  m.error_index = 3;
  const struct {
    uint8_t syntax;
    std::string value;
  } values[] = {
      {syntax::kInteger, "-2147483648"},
      {syntax::kOctetString, std::string("\x00\xff\x20", 3)},
      {syntax::kNull, ""},
      {syntax::kObjectIdentifier, "2.999.4294967295"},
      {syntax::kIpAddress, "255.0.10.1"},
      {syntax::kCounter32, "4294967295"},
      {syntax::kGauge32, "0"},
      {syntax::kTimeTicks, "123456"},
      {syntax::kOpaque, std::string(300, '\x9f')},
      {syntax::kCounter64, "18446744073709551615"},
      {syntax::kNoSuchObject, ""},
      {syntax::kNoSuchInstance, ""},
      {syntax::kEndOfMibView, ""},
  };
  for (const auto& v : values) {
    VarBind& b = m.AddBinding("1.3.6.1.4.1.99999." + std::to_string(v.syntax));
    b.syntax = v.syntax;
    b.value = v.value;
  }
  Bytes out;
  ASSERT_EQ(EncodeMessage(m, out), CodecStatus::kOk);
  Message back;
  ASSERT_EQ(DecodeMessage(out, back), CodecStatus::kOk);
  EXPECT_EQ(back, m);
}

TEST(SnmpMessageEncode, RefusesWhatCannotBeSent) {
  const auto status_of = [](auto change) {
    Message m;
    m.community = "public";
    m.AddBinding("1.3.6.1.2.1.1.1.0");
    change(m);
    Bytes out;
    return EncodeMessage(m, out);
  };
  EXPECT_EQ(status_of([](Message&) {}), CodecStatus::kOk);
  EXPECT_EQ(status_of([](Message& m) { m.version = static_cast<Version>(3); }),
            CodecStatus::kBadVersion);
  EXPECT_EQ(status_of([](Message& m) { m.pdu_type = 0xA4; }), CodecStatus::kBadPduType);
  EXPECT_EQ(status_of([](Message& m) {
              m.version = Version::kV1;
              m.pdu_type = pdu::kGetBulkRequest;
            }),
            CodecStatus::kBadPduType);
  EXPECT_EQ(status_of([](Message& m) { m.bindings[0].oid = "1.3.6.x"; }), CodecStatus::kBadOidText);
  EXPECT_EQ(status_of([](Message& m) { m.AddBinding(""); }), CodecStatus::kBadOidText);
  const struct {
    uint8_t syntax;
    const char* value;
    CodecStatus expected;
  } values[] = {
      {syntax::kInteger, "2147483648", CodecStatus::kBadValueText},
      {syntax::kInteger, "12a", CodecStatus::kBadValueText},
      {syntax::kInteger, "", CodecStatus::kBadValueText},
      {syntax::kIpAddress, "10.0.0", CodecStatus::kBadValueText},
      {syntax::kIpAddress, "10.0.0.256", CodecStatus::kBadValueText},
      {syntax::kIpAddress, "10.0.0.1.", CodecStatus::kBadValueText},
      {syntax::kCounter32, "-1", CodecStatus::kBadValueText},
      {syntax::kCounter32, "4294967296", CodecStatus::kBadValueText},
      {syntax::kObjectIdentifier, "7.1", CodecStatus::kBadValueText},
      {0x47, "1", CodecStatus::kUnsupportedSyntax},
  };
  for (const auto& v : values) {
    EXPECT_EQ(status_of([&](Message& m) {
                m.bindings[0].syntax = v.syntax;
                m.bindings[0].value = v.value;
              }),
              v.expected)
        << static_cast<int>(v.syntax) << " " << v.value;
  }
  EXPECT_EQ(status_of([](Message& m) {
              m.version = Version::kV1;
              m.bindings[0].syntax = syntax::kCounter64;
              m.bindings[0].value = "1";
            }),
            CodecStatus::kSyntaxNotInVersion);
  EXPECT_EQ(status_of([](Message& m) {
              m.bindings[0].syntax = syntax::kOctetString;
              m.bindings[0].value.assign(kMaxDatagram, 'x');
            }),
            CodecStatus::kMessageTooLarge);
}

TEST(SnmpMessage, ResetLeavesNothingOfThePreviousExchange) {
  Message m = Decoded(captured::kNoAccessResponse);
  m.Reset();
  EXPECT_EQ(m, Message{});
  EXPECT_TRUE(m.bindings.empty());
  EXPECT_EQ(m.pdu_type, pdu::kGetNextRequest);
}

TEST(SnmpMessage, DecodingReusesBindingsWithoutKeepingOldOnes) {
  // A shorter response after a longer one into the same message leaves
  // exactly its own bindings.
  Message m = Decoded(captured::kCountersResponse);
  ASSERT_EQ(DecodeMessage(Hex(captured::kOctetStringResponse), m), CodecStatus::kOk);
  ASSERT_EQ(m.bindings.size(), 1u);
  ExpectBinding(m.bindings[0], "1.3.6.1.2.1.1.5.0", syntax::kOctetString, "vm");
}

// ---------------------------------------------------------------------------
// Malformed datagrams. They are built from parts by a small encoder of this
// test's own, so that each one is wrong in exactly one place.

Bytes Tlv(uint8_t tag, const Bytes& content) {
  Bytes out{tag};
  const size_t n = content.size();
  if (n < 0x80) {
    out.push_back(static_cast<uint8_t>(n));
  } else if (n < 0x100) {
    out.insert(out.end(), {0x81, static_cast<uint8_t>(n)});
  } else {
    out.insert(out.end(), {0x82, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)});
  }
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Seq(std::initializer_list<Bytes> parts) {
  return Tlv(0x30, Cat(parts));
}

const Bytes kSysDescrOid = Tlv(0x06, Hex("2B 06 01 02 01 01 01 00"));
const Bytes kCommunity = Tlv(0x04, {'p', 'u', 'b', 'l', 'i', 'c'});
const Bytes kZero = Tlv(0x02, {0});

Bytes Pdu(uint8_t tag, const Bytes& bindings) {
  return Tlv(tag, Cat({Tlv(0x02, {0x2A}), kZero, kZero, Tlv(0x30, bindings)}));
}
Bytes Response(uint8_t version, const Bytes& bindings) {
  return Seq({Tlv(0x02, {version}), kCommunity, Pdu(pdu::kResponse, bindings)});
}
Bytes WithValue(const Bytes& value, uint8_t version = 1) {
  return Response(version, Seq({kSysDescrOid, value}));
}

Bytes Valid() {
  return WithValue(Tlv(0x04, {'x'}));
}
Bytes Cut(Bytes b, size_t drop) {
  b.resize(b.size() - drop);
  return b;
}
Bytes Patched(Bytes b, size_t at, uint8_t value) {
  b.at(at) = value;
  return b;
}
Bytes Appended(Bytes b, const Bytes& tail) {
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

struct MalformedCase {
  const char* name;
  Bytes datagram;
  CodecStatus expected;
};

std::vector<MalformedCase> MalformedCases() {
  const Bytes valid = Valid();
  const Bytes long_oid = [] {
    Bytes arcs = Hex("2B");
    for (int i = 2; i < 129; ++i) arcs.push_back(1);
    return arcs;
  }();
  return {
      {"empty_datagram", {}, CodecStatus::kTruncated},
      {"tag_without_length", Hex("30"), CodecStatus::kTruncated},
      {"truncated_message", Cut(valid, 1), CodecStatus::kLengthPastEnd},
      {"truncated_length", Hex("30 82 01"), CodecStatus::kTruncated},
      {"length_past_end", Patched(valid, 1, static_cast<uint8_t>(valid[1] + 1)),
       CodecStatus::kLengthPastEnd},
      {"indefinite_length", Appended(Patched(valid, 1, 0x80), {0, 0}),
       CodecStatus::kIndefiniteLength},
      {"length_field_too_long",
       Cat({Hex("30 85 00 00 00 00"), Bytes{valid[1]}, Bytes(valid.begin() + 2, valid.end())}),
       CodecStatus::kLengthTooLong},
      {"negative_length_in_long_form",
       Cat({Hex("30 84 FF FF FF D9"), Bytes(valid.begin() + 2, valid.end())}),
       CodecStatus::kLengthPastEnd},
      {"trailing_bytes_after_message", Appended(valid, {0x00}), CodecStatus::kTrailingBytes},
      {"trailing_element_after_pdu",
       Seq({Tlv(0x02, {1}), kCommunity, Pdu(pdu::kResponse, Seq({kSysDescrOid, Tlv(0x05, {})})),
            kZero}),
       CodecStatus::kTrailingBytes},
      {"trailing_element_after_bindings",
       Seq({Tlv(0x02, {1}), kCommunity,
            Tlv(pdu::kResponse, Cat({Tlv(0x02, {0x2A}), kZero, kZero,
                                     Tlv(0x30, Seq({kSysDescrOid, Tlv(0x05, {})})), kZero}))}),
       CodecStatus::kTrailingBytes},
      {"trailing_element_in_binding", Response(1, Seq({kSysDescrOid, Tlv(0x05, {}), kZero})),
       CodecStatus::kTrailingBytes},
      {"nested_length_exceeds_parent",
       // The PDU claims one octet more than the message has left.
       [&] {
         Bytes b = valid;
         b[2 + 3 + 8 + 1] = static_cast<uint8_t>(b[2 + 3 + 8 + 1] + 1);  // PDU length
         return b;
       }(),
       CodecStatus::kLengthPastEnd},
      {"binding_length_exceeds_list", Response(1, Cat({Hex("30 0F"), kSysDescrOid, Tlv(0x05, {})})),
       CodecStatus::kLengthPastEnd},
      {"wrong_outer_tag", Patched(valid, 0, 0x31), CodecStatus::kUnexpectedTag},
      {"multi_octet_tag", Patched(valid, 0, 0x3F), CodecStatus::kHighTagNumber},
      {"wrong_pdu_tag_v1_trap", Seq({Tlv(0x02, {0}), kCommunity, Pdu(0xA4, {})}),
       CodecStatus::kBadPduType},
      {"wrong_pdu_tag_sequence", Seq({Tlv(0x02, {1}), kCommunity, Pdu(0x30, {})}),
       CodecStatus::kBadPduType},
      {"getbulk_in_v1", Seq({Tlv(0x02, {0}), kCommunity, Pdu(pdu::kGetBulkRequest, {})}),
       CodecStatus::kBadPduType},
      {"missing_pdu", Seq({Tlv(0x02, {1}), kCommunity}), CodecStatus::kTruncated},
      {"version_3", WithValue(Tlv(0x05, {}), 3), CodecStatus::kBadVersion},
      {"version_negative", WithValue(Tlv(0x05, {}), 0xFF), CodecStatus::kBadVersion},
      {"version_too_long", Seq({Tlv(0x02, Hex("01 00 00 00 00")), kCommunity, Pdu(0xA2, {})}),
       CodecStatus::kIntegerTooLong},
      {"community_not_octet_string", Seq({Tlv(0x02, {1}), kZero, Pdu(0xA2, {})}),
       CodecStatus::kUnexpectedTag},
      {"request_id_empty",
       Seq({Tlv(0x02, {1}), kCommunity, Tlv(0xA2, Cat({Tlv(0x02, {}), kZero, kZero, Seq({})}))}),
       CodecStatus::kEmptyInteger},
      {"request_id_too_long",
       Seq({Tlv(0x02, {1}), kCommunity,
            Tlv(0xA2, Cat({Tlv(0x02, Hex("01 00 00 00 00")), kZero, kZero, Seq({})}))}),
       CodecStatus::kIntegerTooLong},
      {"error_index_missing",
       Seq({Tlv(0x02, {1}), kCommunity, Tlv(0xA2, Cat({kZero, kZero, Seq({})}))}),
       CodecStatus::kUnexpectedTag},
      {"bindings_not_a_sequence",
       Seq({Tlv(0x02, {1}), kCommunity, Tlv(0xA2, Cat({kZero, kZero, kZero, Tlv(0x31, {})}))}),
       CodecStatus::kUnexpectedTag},
      {"binding_name_not_oid", Response(1, Seq({kCommunity, Tlv(0x05, {})})),
       CodecStatus::kUnexpectedTag},
      {"binding_without_value", Response(1, Seq({kSysDescrOid})), CodecStatus::kTruncated},
      {"oid_empty", Response(1, Seq({Tlv(0x06, {}), Tlv(0x05, {})})), CodecStatus::kBadOid},
      {"oid_arc_overflow", Response(1, Seq({Tlv(0x06, Hex("2B 90 80 80 80 00")), Tlv(0x05, {})})),
       CodecStatus::kOidArcOverflow},
      {"oid_padded_arc", Response(1, Seq({Tlv(0x06, Hex("2B 80 06")), Tlv(0x05, {})})),
       CodecStatus::kBadOid},
      {"oid_unfinished_arc", Response(1, Seq({Tlv(0x06, Hex("2B 06 81")), Tlv(0x05, {})})),
       CodecStatus::kBadOid},
      {"oid_129_arcs", Response(1, Seq({Tlv(0x06, long_oid), Tlv(0x05, {})})),
       CodecStatus::kOidTooLong},
      {"oid_value_arc_overflow", WithValue(Tlv(0x06, Hex("2B FF FF FF FF 7F"))),
       CodecStatus::kOidArcOverflow},
      {"integer_too_long", WithValue(Tlv(0x02, Hex("00 80 00 00 00"))),
       CodecStatus::kIntegerTooLong},
      {"integer_empty", WithValue(Tlv(0x02, {})), CodecStatus::kEmptyInteger},
      {"counter32_too_long", WithValue(Tlv(0x41, Hex("01 00 00 00 00"))),
       CodecStatus::kIntegerTooLong},
      {"timeticks_too_long", WithValue(Tlv(0x43, Hex("01 00 00 00 00"))),
       CodecStatus::kIntegerTooLong},
      {"counter64_too_long", WithValue(Tlv(0x46, Hex("01 00 00 00 00 00 00 00 00"))),
       CodecStatus::kIntegerTooLong},
      {"null_with_content", WithValue(Tlv(0x05, {0})), CodecStatus::kBadNull},
      {"end_of_mib_view_with_content", WithValue(Tlv(0x82, {0})), CodecStatus::kBadNull},
      {"ip_address_three_octets", WithValue(Tlv(0x40, {10, 0, 0})), CodecStatus::kBadIpAddress},
      {"ip_address_five_octets", WithValue(Tlv(0x40, {10, 0, 0, 1, 0})),
       CodecStatus::kBadIpAddress},
      {"unknown_value_tag", WithValue(Tlv(0x47, {1})), CodecStatus::kUnexpectedTag},
      {"constructed_value", WithValue(Seq({kZero})), CodecStatus::kUnexpectedTag},
      {"counter64_in_v1", WithValue(Tlv(0x46, {1}), 0), CodecStatus::kSyntaxNotInVersion},
      {"end_of_mib_view_in_v1", WithValue(Tlv(0x82, {}), 0), CodecStatus::kSyntaxNotInVersion},
      {"value_length_past_binding", Response(1, Cat({Hex("30 0C"), kSysDescrOid, Hex("04 05 78")})),
       CodecStatus::kLengthPastEnd},
  };
}

TEST(SnmpMessageMalformed, EachIsRefusedForItsFault) {
  Message scratch;
  ASSERT_EQ(DecodeMessage(Valid(), scratch), CodecStatus::kOk) << "the base datagram must be valid";
  for (const MalformedCase& c : MalformedCases()) {
    Message m;
    EXPECT_EQ(DecodeMessage(c.datagram, m), c.expected)
        << c.name << ": " << ToHex(c.datagram) << " gave "
        << Describe(DecodeMessage(c.datagram, m));
  }
}

TEST(SnmpMessageMalformed, EveryTruncationOfACaptureIsRefused) {
  // Each proper prefix of a real response is refused, never read past.
  for (const char* hex : {captured::kArpFirstRowResponse, captured::kCountersResponse,
                          captured::kSimIntegerLimitsResponse}) {
    const Bytes whole = Hex(hex);
    for (size_t n = 0; n < whole.size(); ++n) {
      const Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
      Message m;
      EXPECT_NE(DecodeMessage(prefix, m), CodecStatus::kOk) << n << " of " << whole.size();
    }
  }
}

TEST(SnmpMessageCorpus, WriteSeeds) {
  const char* dir = std::getenv("VEXA_SNMP_WRITE_CORPUS");
  if (dir == nullptr) GTEST_SKIP() << "set VEXA_SNMP_WRITE_CORPUS to write the seed corpus";
  const auto write = [&](const std::string& name, const Bytes& bytes) {
    std::ofstream out(std::string(dir) + "/" + name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << name;
  };
  const std::pair<const char*, const char*> captures[] = {
      {"arp-first-row-request", captured::kArpFirstRowRequest},
      {"arp-first-row-response", captured::kArpFirstRowResponse},
      {"arp-second-row-request", captured::kArpSecondRowRequest},
      {"arp-second-row-response", captured::kArpSecondRowResponse},
      {"arp-past-end-response", captured::kArpPastEndResponse},
      {"arp-first-row-v1-request", captured::kArpFirstRowV1Request},
      {"arp-first-row-v1-response", captured::kArpFirstRowV1Response},
      {"end-of-mib-view-response", captured::kEndOfMibViewResponse},
      {"v1-no-such-name-response", captured::kV1NoSuchNameResponse},
      {"no-such-object-and-instance-response", captured::kNoSuchObjectAndInstanceResponse},
      {"counters-response", captured::kCountersResponse},
      {"opaque-response", captured::kOpaqueResponse},
      {"octet-string-response", captured::kOctetStringResponse},
      {"no-access-response", captured::kNoAccessResponse},
      {"sim-counter-limits-response", captured::kSimCounterLimitsResponse},
      {"sim-integer-limits-response", captured::kSimIntegerLimitsResponse},
      {"sim-arp-bulk-request", captured::kSimArpBulkRequest},
      {"sim-arp-bulk-response", captured::kSimArpBulkResponse},
  };
  for (const auto& [name, hex] : captures) write(std::string("capture-") + name, Hex(hex));
  for (const MalformedCase& c : MalformedCases())
    write(std::string("malformed-") + c.name, c.datagram);
}

}  // namespace
}  // namespace vexa::snmp

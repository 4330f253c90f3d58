// SNMPv3 without a network: key localisation against published and net-snmp
// vectors, net-snmp's captured v3 datagrams (our encoder must produce its
// requests byte for byte, our decoder must read its responses and Reports),
// and v3 framing faults, each named for what it guards.
//
// Setting VEXA_SNMP_WRITE_CORPUS=<dir> makes UsmCorpus.WriteSeeds write the
// datagrams of this file into <dir> as fuzz seeds (fuzz/corpus/snmp).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "captured_v3_packets.h"
#include "hex.h"
#include "snmp/usm_client.h"
#include "snmp/usm_keys.h"
#include "snmp/usm_security.h"
#include "snmp/usm_user.h"
#include "snmp/v3_message.h"

namespace vexa::snmp {
namespace {

using test::Bytes;
using test::Hex;
using test::ToHex;
namespace captured = test::captured_v3;

Bytes AsBytes(const std::string& octets) {
  return Bytes(octets.begin(), octets.end());
}

std::string HexOf(const crypto::Bytes& key) {
  std::string text;
  for (const char c : ToHex(key))
    if (c != ' ') text.push_back(static_cast<char>(c >= 'A' && c <= 'F' ? c + 32 : c));
  return text;
}

// RFC 3414 A.3 gives Ku and Kul for MD5 and SHA ("maplesyrup", engine id
// 00..02). RFC 7860 gives no vectors; the SHA-2 ones, and every privacy key,
// are the localized keys net-snmp 5.9.3's snmpd stored (its persistent
// usmUser lines) for lines of the form
//   createUser -e 0x000000000000000000000002 NAME SHA-256 maplesyrup AES-256 maplesyrup
TEST(UsmKeys, LocalisationMatchesPublishedAndNetSnmpVectors) {
  const Bytes engine = Hex("00 00 00 00 00 00 00 00 00 00 00 02");
  struct Case {
    AuthProtocol auth;
    PrivProtocol priv;
    const char* ku;   // empty: not published
    const char* kul;  // the authentication key, or the privacy key when priv is set
  };
  const Case cases[] = {
      {AuthProtocol::kMd5, PrivProtocol::kNone, "9faf3283884e92834ebc9847d8edd963",
       "526f5eed9fcce26f8964c2930787d82b"},
      {AuthProtocol::kSha1, PrivProtocol::kNone, "9fb5cc0381497b3793528939ff788d5d79145211",
       "6695febc9288e36282235fc7151f128497b38f3f"},
      {AuthProtocol::kSha224, PrivProtocol::kNone, "",
       "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be682075674"},
      {AuthProtocol::kSha256, PrivProtocol::kNone, "",
       "8982e0e549e866db361a6b625d84cccc11162d453ee8ce3a6445c2d6776f0f8b"},
      {AuthProtocol::kSha384, PrivProtocol::kNone, "",
       "3b298f16164a11184279d5432bf169e2d2a48307de02b3d3f7e2b4f36eb6f045"
       "5a53689a3937eea07319a633d2ccba78"},
      {AuthProtocol::kSha512, PrivProtocol::kNone, "",
       "22a5a36cedfcc085807a128d7bc6c2382167ad6c0dbc5fdff856740f3d84c099"
       "ad1ea87a8db096714d9788bd544047c9021e4229ce27e4c0a69250adfcffbb0b"},
      // Privacy keys: DES and AES-128 cut, AES-192/256 extended as net-snmp does.
      {AuthProtocol::kMd5, PrivProtocol::kDes, "", "526f5eed9fcce26f8964c2930787d82b"},
      {AuthProtocol::kSha1, PrivProtocol::kAes128, "", "6695febc9288e36282235fc7151f1284"},
      {AuthProtocol::kSha1, PrivProtocol::kAes192, "",
       "6695febc9288e36282235fc7151f128497b38f3f505e07eb"},
      {AuthProtocol::kSha1, PrivProtocol::kAes256, "",
       "6695febc9288e36282235fc7151f128497b38f3f505e07eb9af25568fa1f5dbe"},
      {AuthProtocol::kMd5, PrivProtocol::kAes256, "",
       "526f5eed9fcce26f8964c2930787d82bfa24a92467426c2f4b09192be10dfaec"},
      {AuthProtocol::kSha224, PrivProtocol::kAes256, "",
       "0bd8827c6e29f8065e08e09237f177e410f69b90e1782be682075674e82d9bf0"},
      {AuthProtocol::kSha512, PrivProtocol::kAes256, "",
       "22a5a36cedfcc085807a128d7bc6c2382167ad6c0dbc5fdff856740f3d84c099"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(ProtocolName(c.auth)) + " " + std::string(ProtocolName(c.priv)));
    const crypto::Bytes ku = PasswordToKey(c.auth, "maplesyrup");
    if (*c.ku != '\0') {
      EXPECT_EQ(HexOf(ku), c.ku);
    }
    const crypto::Bytes key = c.priv == PrivProtocol::kNone
                                  ? LocalizeKey(c.auth, ku, engine)
                                  : LocalizePrivKey(c.auth, c.priv, ku, engine);
    EXPECT_EQ(HexOf(key), c.kul);
  }
}

struct Exchange {
  const char* name;
  AuthProtocol auth;
  PrivProtocol priv;
  const char* request;
  const char* response;
};

const Exchange kExchanges[] = {
    {"SHA/AES", AuthProtocol::kSha1, PrivProtocol::kAes128, captured::kShaAesRequest,
     captured::kShaAesResponse},
    {"SHA-256/AES-256", AuthProtocol::kSha256, PrivProtocol::kAes256,
     captured::kSha256Aes256Request, captured::kSha256Aes256Response},
    {"SHA-512", AuthProtocol::kSha512, PrivProtocol::kNone, captured::kSha512AuthRequest,
     captured::kSha512AuthResponse},
    {"noAuthNoPriv", AuthProtocol::kNone, PrivProtocol::kNone, captured::kNoAuthRequest,
     captured::kNoAuthResponse},
};

std::unique_ptr<LocalizedKeys> KeysFor(const Exchange& e, const std::string& engine_id) {
  const crypto::Bytes auth_ku =
      e.auth == AuthProtocol::kNone ? crypto::Bytes() : PasswordToKey(e.auth, "vexa-auth-pass");
  const crypto::Bytes priv_ku =
      e.priv == PrivProtocol::kNone ? crypto::Bytes() : PasswordToKey(e.auth, "vexa-priv-pass");
  return std::make_unique<LocalizedKeys>(e.auth, auth_ku, e.priv, priv_ku, AsBytes(engine_id));
}

// Checks the MAC, decrypts and decodes one captured datagram.
Message Open(const Exchange& e, const Bytes& datagram, V3Message& framing) {
  Message pdu;
  EXPECT_EQ(DecodeV3Message(datagram, framing), CodecStatus::kOk);
  const auto keys = KeysFor(e, framing.usm.engine_id);
  if (e.auth != AuthProtocol::kNone) {
    EXPECT_TRUE(keys->Verify(datagram, framing.auth_offset));
  }
  crypto::Bytes plain;
  std::span<const uint8_t> scoped = framing.scoped_pdu;
  if (e.priv != PrivProtocol::kNone) {
    EXPECT_TRUE(keys->Decrypt(framing.usm.engine_boots, framing.usm.engine_time,
                              framing.usm.priv_params, framing.encrypted_pdu, plain));
    scoped = plain;
  }
  ScopedPduFields fields;
  EXPECT_EQ(DecodeScopedPdu(scoped, false, fields, pdu), CodecStatus::kOk);
  EXPECT_EQ(fields.context_engine_id, framing.usm.engine_id);
  EXPECT_EQ(fields.context_name, "");
  return pdu;
}

TEST(UsmCaptures, RequestsEncodeAsNetSnmpSendsThemAndResponsesDecode) {
  for (const Exchange& e : kExchanges) {
    SCOPED_TRACE(e.name);
    const Bytes captured_request = Hex(e.request);
    V3Message req;
    const Message get = Open(e, captured_request, req);
    EXPECT_EQ(get.pdu_type, pdu::kGetRequest);
    ASSERT_EQ(get.bindings.size(), 1u);
    EXPECT_EQ(get.bindings[0].oid, "1.3.6.1.2.1.1.5.0");

    // The same request from our encoder, with net-snmp's msgID, salt and time.
    const auto keys = KeysFor(e, req.usm.engine_id);
    std::vector<uint8_t> scoped, ours;
    ASSERT_EQ(EncodeScopedPdu({req.usm.engine_id, ""}, get, scoped), CodecStatus::kOk);
    UsmParameters usm = req.usm;
    usm.auth_params.assign(MacLength(e.auth), '\0');
    crypto::Bytes data(scoped.begin(), scoped.end());
    if (e.priv != PrivProtocol::kNone) {
      uint64_t salt = 0;
      for (const char c : req.usm.priv_params) salt = salt << 8 | static_cast<uint8_t>(c);
      keys->Encrypt(usm.engine_boots, usm.engine_time, salt, scoped, data, usm.priv_params);
    }
    size_t auth_offset = 0;
    ASSERT_EQ(EncodeV3Message(req.msg_id, req.max_size, req.flags, usm, data,
                              e.priv != PrivProtocol::kNone, ours, auth_offset),
              CodecStatus::kOk);
    EXPECT_EQ(auth_offset, req.auth_offset);
    if (e.auth != AuthProtocol::kNone) keys->Sign(ours, auth_offset);
    EXPECT_EQ(ToHex(ours), ToHex(captured_request));

    V3Message rsp;
    const Message response = Open(e, Hex(e.response), rsp);
    EXPECT_EQ(rsp.msg_id, req.msg_id);
    EXPECT_EQ(response.version, Version::kV3);
    EXPECT_EQ(response.pdu_type, pdu::kResponse);
    EXPECT_EQ(response.request_id, get.request_id);
    ASSERT_EQ(response.bindings.size(), 1u);
    EXPECT_EQ(response.bindings[0].oid, "1.3.6.1.2.1.1.5.0");
    EXPECT_EQ(response.bindings[0].type(), syntax::kOctetString);
    EXPECT_EQ(response.bindings[0].value, "vm");
  }
}

TEST(UsmCaptures, ReportsNameTheirCause) {
  struct Case {
    const char* report;
    ReportCause cause;
    const char* described;
    bool authenticated;
  };
  const Case cases[] = {
      {captured::kShaAesDiscoveryReport, ReportCause::kUnknownEngineId, "unknownEngineID", false},
      {captured::kWrongDigestReport, ReportCause::kWrongDigest, "wrongDigest", false},
      {captured::kUnknownUserNameReport, ReportCause::kUnknownUserName, "unknownUserName", false},
      {captured::kUnsupportedSecLevelReport, ReportCause::kUnsupportedSecLevel,
       "unsupportedSecLevel", false},
      {captured::kNotInTimeWindowReport, ReportCause::kNotInTimeWindow, "notInTimeWindow", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.described);
    const Bytes datagram = Hex(c.report);
    V3Message framing;
    ASSERT_EQ(DecodeV3Message(datagram, framing), CodecStatus::kOk);
    // Every Report names the agent's engine, boots and time.
    EXPECT_EQ(ToHex(AsBytes(framing.usm.engine_id)),
              "80 00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00");
    EXPECT_EQ(framing.usm.engine_boots, 1);
    EXPECT_GE(framing.usm.engine_time, 1);
    EXPECT_EQ((framing.flags & msg_flag::kAuth) != 0, c.authenticated);
    if (c.authenticated) {
      const Exchange sha{"SHA", AuthProtocol::kSha1, PrivProtocol::kNone, "", ""};
      EXPECT_TRUE(KeysFor(sha, framing.usm.engine_id)->Verify(datagram, framing.auth_offset));
    }
    ScopedPduFields fields;
    Message report;
    ASSERT_EQ(DecodeScopedPdu(framing.scoped_pdu, false, fields, report), CodecStatus::kOk);
    EXPECT_EQ(report.pdu_type, pdu::kReport);
    ASSERT_EQ(report.bindings.size(), 1u);
    EXPECT_EQ(report.bindings[0].type(), syntax::kCounter32);
    const Refusal refusal{ClassifyReport(report.bindings[0].oid), report.bindings[0].oid};
    EXPECT_EQ(refusal.cause, c.cause);
    EXPECT_EQ(refusal.Describe().rfind(c.described, 0), 0u) << refusal.Describe();
  }
}

// Malformed v3 datagrams, each made from net-snmp's probe by one change, with
// the status that refuses it.
struct Malformed {
  const char* name;
  std::string hex;
  CodecStatus status;
};

std::vector<Malformed> MalformedV3() {
  const Bytes probe = Hex(captured::kShaAesProbe);
  // The probe with `from` replaced by `to` and its outer length made right.
  const auto with = [&](const std::string& from, const std::string& to) {
    std::string hex = ToHex(probe);
    const size_t at = hex.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    Bytes bytes = Hex(hex.replace(at, from.size(), to));
    bytes[1] = static_cast<uint8_t>(bytes.size() - 2);  // short form: the probe is small
    return ToHex(bytes);
  };
  return {
      {"priv_without_auth", with("04 01 04 02 01 03", "04 01 06 02 01 03"),
       CodecStatus::kBadV3Header},
      {"max_size_below_484", with("02 03 00 FF E3", "02 03 00 01 E3"), CodecStatus::kBadV3Header},
      {"negative_msg_id", with("02 04 0A 4E D4 2E", "02 04 8A 4E D4 2E"),
       CodecStatus::kBadV3Header},
      {"flags_two_octets",
       with("30 11 02 04 0A 4E D4 2E 02 03 00 FF E3 04 01 04",
            "30 12 02 04 0A 4E D4 2E 02 03 00 FF E3 04 02 04 04"),
       CodecStatus::kBadV3Header},
      {"community_security_model", with("04 01 04 02 01 03", "04 01 04 02 01 02"),
       CodecStatus::kUnsupportedSecurityModel},
      {"engine_id_of_three_octets",
       with("04 10 30 0E 04 00 02 01", "04 13 30 11 04 03 01 02 03 02 01"),
       CodecStatus::kBadSecurityParameters},
      {"negative_engine_boots", with("30 0E 04 00 02 01 00", "30 0E 04 00 02 01 FF"),
       CodecStatus::kBadSecurityParameters},
      {"plaintext_data_not_a_sequence", with("30 14 04 00 04 00", "04 14 04 00 04 00"),
       CodecStatus::kUnexpectedTag},
  };
}

TEST(UsmCodec, MalformedV3DatagramsAreRefusedForTheirFault) {
  for (const Malformed& m : MalformedV3()) {
    V3Message framing;
    EXPECT_EQ(DecodeV3Message(Hex(m.hex), framing), m.status) << m.name;
  }
  // Every cut of a whole message is refused without reading past its end.
  const Bytes whole = Hex(captured::kShaAesRequest);
  for (size_t size = 0; size < whole.size(); ++size) {
    V3Message framing;
    EXPECT_NE(DecodeV3Message(std::span(whole).first(size), framing), CodecStatus::kOk) << size;
  }
}

TEST(UsmUser, ProblemsAreNamedAndDescriptionsHoldNoSecret) {
  struct Case {
    UsmUser user;
    const char* problem;  // a word of the problem, or empty
    const char* description;
  };
  const Case cases[] = {
      {{.name = "vexa",
        .auth = AuthProtocol::kSha256,
        .auth_password = "secret-auth",
        .priv = PrivProtocol::kAes256,
        .priv_password = "secret-priv"},
       "",
       "vexa authPriv SHA-256/AES-256"},
      {{.name = "vexa",
        .auth = AuthProtocol::kSha1,
        .auth_password = "secret-auth",
        .context = "public"},
       "",
       "vexa authNoPriv SHA context public"},
      {{.name = "ops\r\nx"}, "", "ops??x noAuthNoPriv"},
      {{.name = ""}, "empty", ""},
      {{.name = std::string(33, 'u')}, "longer than 32", ""},
      {{.name = "vexa", .priv = PrivProtocol::kAes128, .priv_password = "secret-priv"},
       "needs an authentication protocol",
       ""},
      {{.name = "vexa", .auth = AuthProtocol::kMd5, .auth_password = "short"},
       "shorter than 8",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user.name);
    const std::string problem = c.user.Problem();
    if (*c.problem == '\0') {
      EXPECT_EQ(problem, "");
      EXPECT_EQ(c.user.Description(), c.description);
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
    EXPECT_EQ(c.user.Description().find("secret"), std::string::npos);
  }
  AuthProtocol auth{};
  PrivProtocol priv{};
  EXPECT_TRUE(ParseAuthProtocol("sha-512", auth));
  EXPECT_EQ(auth, AuthProtocol::kSha512);
  EXPECT_TRUE(ParsePrivProtocol("AES", priv));
  EXPECT_EQ(priv, PrivProtocol::kAes128);
  EXPECT_FALSE(ParseAuthProtocol("SHA1-96", auth));
  EXPECT_FALSE(ParsePrivProtocol("3DES", priv));
}

TEST(UsmCorpus, WriteSeeds) {
  const char* dir = std::getenv("VEXA_SNMP_WRITE_CORPUS");
  if (dir == nullptr) GTEST_SKIP() << "set VEXA_SNMP_WRITE_CORPUS=<dir> to write the seeds";
  const auto write = [&](const std::string& name, const Bytes& bytes) {
    std::ofstream(std::string(dir) + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  };
  const std::pair<const char*, const char*> captures[] = {
      {"v3-probe", captured::kShaAesProbe},
      {"v3-discovery-report", captured::kShaAesDiscoveryReport},
      {"v3-sha-aes-request", captured::kShaAesRequest},
      {"v3-sha-aes-response", captured::kShaAesResponse},
      {"v3-sha256-aes256-response", captured::kSha256Aes256Response},
      {"v3-sha512-auth-response", captured::kSha512AuthResponse},
      {"v3-noauth-response", captured::kNoAuthResponse},
      {"v3-wrong-digest-report", captured::kWrongDigestReport},
      {"v3-unknown-user-report", captured::kUnknownUserNameReport},
      {"v3-unsupported-level-report", captured::kUnsupportedSecLevelReport},
      {"v3-not-in-time-window-report", captured::kNotInTimeWindowReport},
  };
  for (const auto& [name, hex] : captures) write(std::string("capture-") + name, Hex(hex));
  for (const Malformed& m : MalformedV3()) write(std::string("malformed-v3-") + m.name, Hex(m.hex));
}

}  // namespace
}  // namespace vexa::snmp

// SNMPv3 datagrams captured from net-snmp 5.9.3 (snmpget's "-d" output, sent
// and received bytes), with USM users of snmpd on a loopback address:
//
//   snmpd -f -Lo -C -I -smux -c snmpd.conf      (SNMP_PERSISTENT_DIR of its own)
//   snmpd.conf:
//     agentaddress udp:127.0.12.250:161
//     createUser vexaSha SHA "vexa-auth-pass" AES "vexa-priv-pass"
//     createUser vexaSha256 SHA-256 "vexa-auth-pass" AES-256 "vexa-priv-pass"
//     createUser vexaAuth SHA-512 "vexa-auth-pass"
//     createUser vexaNone
//     rouser vexaSha priv
//     rouser vexaSha256 priv
//     rouser vexaAuth auth
//     rouser vexaNone noauth
//
// Each command below (AGENT is 127.0.12.250) sent a discovery probe, got the
// Report naming the engine (80 00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00
// 00, boots 1), then sent the get request; the captures keep the datagrams of
// interest. The value of sysName.0 is the capturing machine's name, "vm".
#pragma once

namespace vexa::test::captured_v3 {

// snmpget -v3 -l authPriv -u vexaSha -a SHA -A vexa-auth-pass -x AES -X vexa-priv-pass
// AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kShaAesProbe =
    "30 3E 02 01 03 30 11 02 04 0A 4E D4 2E 02 03 00 "
    "FF E3 04 01 04 02 01 03 04 10 30 0E 04 00 02 01 "
    "00 02 01 00 04 00 04 00 04 00 30 14 04 00 04 00 "
    "A0 0E 02 04 2D AA C0 EA 02 01 00 02 01 00 30 00";
constexpr const char* kShaAesDiscoveryReport =
    "30 71 02 01 03 30 11 02 04 0A 4E D4 2E 02 03 00 "
    "FF E3 04 01 00 02 01 03 04 21 30 1F 04 11 80 00 "
    "1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 02 "
    "01 01 02 01 01 04 00 04 00 04 00 30 36 04 11 80 "
    "00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 "
    "04 00 A8 1F 02 04 2D AA C0 EA 02 01 00 02 01 00 "
    "30 11 30 0F 06 0A 2B 06 01 06 03 0F 01 01 04 00 "
    "41 01 01";
constexpr const char* kShaAesRequest =
    "30 81 8B 02 01 03 30 11 02 04 0A 4E D4 2D 02 03 "
    "00 FF E3 04 01 07 02 01 03 04 3C 30 3A 04 11 80 "
    "00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 "
    "02 01 01 02 01 01 04 07 76 65 78 61 53 68 61 04 "
    "0C DC C5 47 33 E1 3A 43 20 5A 69 F0 63 04 08 EE "
    "59 AE 49 96 BD E6 48 04 35 9D 8F D6 8D 32 5E 10 "
    "65 C5 F9 4A F9 F7 AC DE 33 74 14 4C 40 02 A5 0F "
    "18 28 F0 88 36 D2 EB 25 01 59 43 64 A9 DE 7A 8B "
    "23 34 71 21 62 A6 A5 E5 CF 1F CB 20 C3 AE";
constexpr const char* kShaAesResponse =
    "30 81 8D 02 01 03 30 11 02 04 0A 4E D4 2D 02 03 "
    "00 FF E3 04 01 03 02 01 03 04 3C 30 3A 04 11 80 "
    "00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 "
    "02 01 01 02 01 01 04 07 76 65 78 61 53 68 61 04 "
    "0C BE AE E8 12 58 EA 90 5A 08 85 66 FC 04 08 03 "
    "FA 32 0B F3 7F 4A 3F 04 37 9C B8 66 6D 13 2D 4E "
    "CD D8 5E 8C 7F 2B 43 1F F2 72 49 37 87 A8 58 F9 "
    "1C B6 2C 66 50 6A 13 93 FE 91 F6 5F 5D D2 B9 C5 "
    "89 07 36 6B DA 3E 57 B3 E1 41 74 0C 3E F1 08 6D";

// snmpget -v3 -l authPriv -u vexaSha256 -a SHA-256 -A vexa-auth-pass -x AES-256 -X vexa-priv-pass
// AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kSha256Aes256Request =
    "30 81 9A 02 01 03 30 11 02 04 13 D6 70 A5 02 03 "
    "00 FF E3 04 01 07 02 01 03 04 4B 30 49 04 11 80 "
    "00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 "
    "02 01 01 02 01 01 04 0A 76 65 78 61 53 68 61 32 "
    "35 36 04 18 5E C9 E9 0A 1C 3E 9E 5D A4 66 D0 C3 "
    "14 05 A6 2D A0 BE 49 36 D8 75 23 78 04 08 9C 74 "
    "15 A3 2B F7 58 75 04 35 78 D2 32 CF AC 46 8E 0F "
    "F4 0F E2 41 F2 FD 1C AC 84 3E DF D0 04 50 1B 14 "
    "84 C5 85 5B 0D EF 8C D5 4A 62 C2 99 45 DB 66 7B "
    "C0 4D 1A 53 6E 08 5D 94 66 5B D5 A2 1C";
constexpr const char* kSha256Aes256Response =
    "30 81 9C 02 01 03 30 11 02 04 13 D6 70 A5 02 03 "
    "00 FF E3 04 01 03 02 01 03 04 4B 30 49 04 11 80 "
    "00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 "
    "02 01 01 02 01 01 04 0A 76 65 78 61 53 68 61 32 "
    "35 36 04 18 5A 64 40 AD 3B 43 12 47 4C 5E 66 FB "
    "64 86 76 AD 0C 3F DE D0 54 45 CC E2 04 08 03 FA "
    "32 0B F3 7F 4A 40 04 37 C1 FA 9B FD F5 E4 4A F0 "
    "10 77 A4 AB E7 AF 13 25 DB 5C 35 55 85 12 66 5B "
    "51 E3 66 F5 C1 5F 11 62 6E 6C 34 2F 20 F4 49 B2 "
    "ED 25 0F 43 2F D6 D5 26 CF 49 5F 28 6A 52 2C";

// snmpget -v3 -l authNoPriv -u vexaAuth -a SHA-512 -A vexa-auth-pass AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kSha512AuthRequest =
    "30 81 A6 02 01 03 30 11 02 04 7A 14 DB 4B 02 03 "
    "00 FF E3 04 01 05 02 01 03 04 59 30 57 04 11 80 "
    "00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 "
    "02 01 01 02 01 01 04 08 76 65 78 61 41 75 74 68 "
    "04 30 B2 32 A4 BB A2 A4 E3 0C 34 DC 3E 98 03 C3 "
    "B8 A0 C8 19 6A 71 0A ED C8 6A B4 56 ED EA 0A BD "
    "F2 21 E2 26 4B 37 0E 6E 77 DD 1A E6 5F 4F DF 50 "
    "10 DA 04 00 30 33 04 11 80 00 1F 88 80 5D CF 34 "
    "72 38 B6 17 6B 00 00 00 00 04 00 A0 1C 02 04 45 "
    "0C 55 8D 02 01 00 02 01 00 30 0E 30 0C 06 08 2B "
    "06 01 02 01 01 05 00 05 00";
constexpr const char* kSha512AuthResponse =
    "30 81 A8 02 01 03 30 11 02 04 7A 14 DB 4B 02 03 "
    "00 FF E3 04 01 01 02 01 03 04 59 30 57 04 11 80 "
    "00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 "
    "02 01 01 02 01 01 04 08 76 65 78 61 41 75 74 68 "
    "04 30 93 4C 74 DF C8 25 B3 D5 5A 66 2A 47 0D 87 "
    "A6 0C F6 8F 5E 54 D0 AC F1 AB 00 03 0B 7F CC CC "
    "67 78 C1 CE F5 CD E4 42 F7 F2 CE 20 86 13 59 7A "
    "55 86 04 00 30 35 04 11 80 00 1F 88 80 5D CF 34 "
    "72 38 B6 17 6B 00 00 00 00 04 00 A2 1E 02 04 45 "
    "0C 55 8D 02 01 00 02 01 00 30 10 30 0E 06 08 2B "
    "06 01 02 01 01 05 00 04 02 76 6D";

// snmpget -v3 -l noAuthNoPriv -u vexaNone AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kNoAuthRequest =
    "30 76 02 01 03 30 11 02 04 60 B3 94 FC 02 03 00 "
    "FF E3 04 01 04 02 01 03 04 29 30 27 04 11 80 00 "
    "1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 02 "
    "01 01 02 01 01 04 08 76 65 78 61 4E 6F 6E 65 04 "
    "00 04 00 30 33 04 11 80 00 1F 88 80 5D CF 34 72 "
    "38 B6 17 6B 00 00 00 00 04 00 A0 1C 02 04 43 3F "
    "CA 57 02 01 00 02 01 00 30 0E 30 0C 06 08 2B 06 "
    "01 02 01 01 05 00 05 00";
constexpr const char* kNoAuthResponse =
    "30 78 02 01 03 30 11 02 04 60 B3 94 FC 02 03 00 "
    "FF E3 04 01 00 02 01 03 04 29 30 27 04 11 80 00 "
    "1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 02 "
    "01 01 02 01 01 04 08 76 65 78 61 4E 6F 6E 65 04 "
    "00 04 00 30 35 04 11 80 00 1F 88 80 5D CF 34 72 "
    "38 B6 17 6B 00 00 00 00 04 00 A2 1E 02 04 43 3F "
    "CA 57 02 01 00 02 01 00 30 10 30 0E 06 08 2B 06 "
    "01 02 01 01 05 00 04 02 76 6D";

// A wrong authentication password:
// snmpget -v3 -l authPriv -u vexaSha -a SHA -A wrong-auth-pass -x AES -X vexa-priv-pass
// AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kWrongDigestReport =
    "30 75 02 01 03 30 11 02 04 5E 6B B5 AD 02 03 00 "
    "FF E3 04 01 00 02 01 03 04 28 30 26 04 11 80 00 "
    "1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 02 "
    "01 01 02 01 01 04 07 76 65 78 61 53 68 61 04 00 "
    "04 00 30 33 04 11 80 00 1F 88 80 5D CF 34 72 38 "
    "B6 17 6B 00 00 00 00 04 00 A8 1C 02 01 00 02 01 "
    "00 02 01 00 30 11 30 0F 06 0A 2B 06 01 06 03 0F "
    "01 01 05 00 41 01 01";

// A user snmpd does not have:
// snmpget -v3 -l authPriv -u nobodyHere -a SHA -A vexa-auth-pass -x AES -X vexa-priv-pass
// AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kUnknownUserNameReport =
    "30 78 02 01 03 30 11 02 04 37 DA 61 B8 02 03 00 "
    "FF E3 04 01 00 02 01 03 04 2B 30 29 04 11 80 00 "
    "1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 02 "
    "01 01 02 01 02 04 0A 6E 6F 62 6F 64 79 48 65 72 "
    "65 04 00 04 00 30 33 04 11 80 00 1F 88 80 5D CF "
    "34 72 38 B6 17 6B 00 00 00 00 04 00 A8 1C 02 01 "
    "00 02 01 00 02 01 00 30 11 30 0F 06 0A 2B 06 01 "
    "06 03 0F 01 01 03 00 41 01 01";

// authPriv for a user that has no privacy key:
// snmpget -v3 -l authPriv -u vexaAuth -a SHA-512 -A vexa-auth-pass -x AES -X vexa-priv-pass
// AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kUnsupportedSecLevelReport =
    "30 76 02 01 03 30 11 02 04 45 7E 45 FD 02 03 00 "
    "FF E3 04 01 00 02 01 03 04 29 30 27 04 11 80 00 "
    "1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 02 "
    "01 01 02 01 02 04 08 76 65 78 61 41 75 74 68 04 "
    "00 04 00 30 33 04 11 80 00 1F 88 80 5D CF 34 72 "
    "38 B6 17 6B 00 00 00 00 04 00 A8 1C 02 01 00 02 "
    "01 00 02 01 00 30 11 30 0F 06 0A 2B 06 01 06 03 "
    "0F 01 01 01 00 41 01 01";

// Boots and time far from the agent's (-Z):
// snmpget -v3 -l authNoPriv -u vexaSha -a SHA -A vexa-auth-pass -Z 1,100000 AGENT 1.3.6.1.2.1.1.5.0
constexpr const char* kNotInTimeWindowReport =
    "30 81 84 02 01 03 30 11 02 04 56 6C DF 81 02 03 "
    "00 FF E3 04 01 01 02 01 03 04 34 30 32 04 11 80 "
    "00 1F 88 80 5D CF 34 72 38 B6 17 6B 00 00 00 00 "
    "02 01 01 02 01 02 04 07 76 65 78 61 53 68 61 04 "
    "0C 9F 2D AB 79 0B EC 32 A8 1F AE F6 2C 04 00 30 "
    "36 04 11 80 00 1F 88 80 5D CF 34 72 38 B6 17 6B "
    "00 00 00 00 04 00 A8 1F 02 04 61 A7 AC E3 02 01 "
    "00 02 01 00 30 11 30 0F 06 0A 2B 06 01 06 03 0F "
    "01 01 02 00 41 01 01";

}  // namespace vexa::test::captured_v3

// USM protocols and their keys: the authentication and privacy protocols
// under net-snmp's names, the password-to-key algorithm (RFC 3414 A.2: the
// password repeated to fill 1 MB, hashed), key localisation (RFC 3414 2.6:
// H(Ku || engineID || Ku)), and the privacy key each privacy protocol takes
// from the localized key. The SHA-2 protocols of RFC 7860 (section 9.3) use
// the same two algorithms with their own hash.
//
// AES-192 and AES-256 need more key than SHA-1 or MD5 localisation gives.
// The key is then extended the way net-snmp does it for "AES-192" and
// "AES-256" (the draft-blumenthal-aes-usm extension): append the hash of
// everything so far until the key is long enough,
//
//   Kul' = Kul || H(Kul) || H(Kul || H(Kul)) || ...   truncated to the key size.
//
// net-snmp 5.9.3 was checked for this, both ways: the localized privacy keys
// snmpd stores for createUser lines (its persistent usmUser entries) are
// exactly this extension, and snmpsim, which offers both extensions, talks to
// net-snmp's "-x AES-256" only in its "AES256BLMT" (Blumenthal) mode; its
// "AES256" mode uses the other extension (draft-reeder, localising a
// password-to-key of Kul again), which net-snmp calls "AES-256-C" (Cisco).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "snmp/crypto.h"

namespace vexa::snmp {

enum class AuthProtocol : uint8_t { kNone, kMd5, kSha1, kSha224, kSha256, kSha384, kSha512 };
enum class PrivProtocol : uint8_t { kNone, kDes, kAes128, kAes192, kAes256 };

// net-snmp's names: "none", "MD5", "SHA", "SHA-224", "SHA-256", "SHA-384",
// "SHA-512"; "none", "DES", "AES" (AES-128), "AES-192", "AES-256".
std::string_view ProtocolName(AuthProtocol protocol);
std::string_view ProtocolName(PrivProtocol protocol);
// Those names, without regard to case. False for anything else.
bool ParseAuthProtocol(std::string_view text, AuthProtocol& out);
bool ParsePrivProtocol(std::string_view text, PrivProtocol& out);

// The hash behind an authentication protocol other than kNone.
crypto::Hash HashOf(AuthProtocol protocol);
// Octets of msgAuthenticationParameters: the truncated HMAC (RFC 3414 6.3.1
// and 7.3.1: 12; RFC 7860 4.2: 16, 24, 32, 48 for SHA-224 to SHA-512).
size_t MacLength(AuthProtocol protocol);
// Octets of the privacy key: 16 for DES (8 of key, 8 of pre-IV), 16, 24 and
// 32 for AES-128, -192 and -256.
size_t PrivKeyLength(PrivProtocol protocol);

// RFC 3414 A.2 (and RFC 7860 9.3): the user's key Ku from a password. The
// password must not be empty (the expansion repeats it).
crypto::Bytes PasswordToKey(AuthProtocol protocol, std::string_view password);
// RFC 3414 2.6: Kul = H(Ku || engineID || Ku).
crypto::Bytes LocalizeKey(AuthProtocol protocol, std::span<const uint8_t> ku,
                          std::span<const uint8_t> engine_id);
// The privacy key for `engine_id`: Ku of the privacy password localized with
// the authentication protocol's hash, cut or extended (see above) to
// PrivKeyLength(priv).
crypto::Bytes LocalizePrivKey(AuthProtocol auth, PrivProtocol priv, std::span<const uint8_t> ku,
                              std::span<const uint8_t> engine_id);

}  // namespace vexa::snmp

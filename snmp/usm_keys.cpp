#include "snmp/usm_keys.h"

#include <array>
#include <stdexcept>
#include <string>

namespace vexa::snmp {

namespace {

constexpr std::array<std::string_view, 7> kAuthNames = {"none",    "MD5",     "SHA",    "SHA-224",
                                                        "SHA-256", "SHA-384", "SHA-512"};
constexpr std::array<std::string_view, 5> kPrivNames = {"none", "DES", "AES", "AES-192", "AES-256"};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// RFC 3414 A.2.1: the password repeated (wrapping mid-password) until 1 MB
// (2^20 octets) has been hashed.
constexpr size_t kExpansionLength = 1048576;

}  // namespace

std::string_view ProtocolName(AuthProtocol protocol) {
  return kAuthNames[static_cast<size_t>(protocol)];
}

std::string_view ProtocolName(PrivProtocol protocol) {
  return kPrivNames[static_cast<size_t>(protocol)];
}

bool ParseAuthProtocol(std::string_view text, AuthProtocol& out) {
  for (size_t i = 0; i < kAuthNames.size(); ++i)
    if (SameIgnoringCase(text, kAuthNames[i])) {
      out = static_cast<AuthProtocol>(i);
      return true;
    }
  return false;
}

bool ParsePrivProtocol(std::string_view text, PrivProtocol& out) {
  for (size_t i = 0; i < kPrivNames.size(); ++i)
    if (SameIgnoringCase(text, kPrivNames[i])) {
      out = static_cast<PrivProtocol>(i);
      return true;
    }
  return false;
}

crypto::Hash HashOf(AuthProtocol protocol) {
  switch (protocol) {
    case AuthProtocol::kMd5:
      return crypto::Hash::kMd5;
    case AuthProtocol::kSha1:
      return crypto::Hash::kSha1;
    case AuthProtocol::kSha224:
      return crypto::Hash::kSha224;
    case AuthProtocol::kSha256:
      return crypto::Hash::kSha256;
    case AuthProtocol::kSha384:
      return crypto::Hash::kSha384;
    case AuthProtocol::kSha512:
      return crypto::Hash::kSha512;
    case AuthProtocol::kNone:
      break;
  }
  throw std::invalid_argument("no hash for the authentication protocol 'none'");
}

size_t MacLength(AuthProtocol protocol) {
  switch (protocol) {
    case AuthProtocol::kNone:
      return 0;
    case AuthProtocol::kMd5:
    case AuthProtocol::kSha1:
      return 12;
    case AuthProtocol::kSha224:
      return 16;
    case AuthProtocol::kSha256:
      return 24;
    case AuthProtocol::kSha384:
      return 32;
    case AuthProtocol::kSha512:
      return 48;
  }
  return 0;
}

size_t PrivKeyLength(PrivProtocol protocol) {
  switch (protocol) {
    case PrivProtocol::kNone:
      return 0;
    case PrivProtocol::kDes:
    case PrivProtocol::kAes128:
      return 16;
    case PrivProtocol::kAes192:
      return 24;
    case PrivProtocol::kAes256:
      return 32;
  }
  return 0;
}

crypto::Bytes PasswordToKey(AuthProtocol protocol, std::string_view password) {
  if (password.empty()) throw std::invalid_argument("an empty password has no key");
  crypto::Hasher hasher(HashOf(protocol));
  // Hash in 64-octet pieces, as the RFC's reference code does; any piece size
  // gives the same digest.
  std::array<uint8_t, 64> piece;
  size_t index = 0;
  for (size_t done = 0; done < kExpansionLength; done += piece.size()) {
    for (uint8_t& octet : piece) octet = static_cast<uint8_t>(password[index++ % password.size()]);
    hasher.Update(piece);
  }
  crypto::Cleanse(piece);
  return hasher.Final();
}

crypto::Bytes LocalizeKey(AuthProtocol protocol, std::span<const uint8_t> ku,
                          std::span<const uint8_t> engine_id) {
  crypto::Hasher hasher(HashOf(protocol));
  hasher.Update(ku);
  hasher.Update(engine_id);
  hasher.Update(ku);
  return hasher.Final();
}

crypto::Bytes LocalizePrivKey(AuthProtocol auth, PrivProtocol priv, std::span<const uint8_t> ku,
                              std::span<const uint8_t> engine_id) {
  const size_t length = PrivKeyLength(priv);
  crypto::Bytes key = LocalizeKey(auth, ku, engine_id);
  // Blumenthal extension: each round appends the hash of the whole key so far.
  while (key.size() < length) {
    crypto::Bytes more = crypto::Digest(HashOf(auth), key);
    key.insert(key.end(), more.begin(), more.end());
    crypto::Cleanse(more);
  }
  crypto::Cleanse(std::span<uint8_t>(key).subspan(length));
  key.resize(length);
  return key;
}

}  // namespace vexa::snmp

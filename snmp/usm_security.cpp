#include "snmp/usm_security.h"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace vexa::snmp {

namespace {

crypto::Cipher CipherOf(PrivProtocol priv) {
  switch (priv) {
    case PrivProtocol::kDes:
      return crypto::Cipher::kDesCbc;
    case PrivProtocol::kAes128:
      return crypto::Cipher::kAes128Cfb;
    case PrivProtocol::kAes192:
      return crypto::Cipher::kAes192Cfb;
    case PrivProtocol::kAes256:
      return crypto::Cipher::kAes256Cfb;
    case PrivProtocol::kNone:
      break;
  }
  throw std::logic_error("no cipher for the privacy protocol 'none'");
}

void PutBigEndian32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// The IV of RFC 3826 3.1.2.1 (AES) or RFC 3414 8.1.1.1 (DES) for a salt.
std::array<uint8_t, 16> MakeIv(PrivProtocol priv, std::span<const uint8_t> key, int32_t boots,
                               int32_t time, std::span<const uint8_t, 8> salt) {
  std::array<uint8_t, 16> iv{};
  if (priv == PrivProtocol::kDes) {
    for (size_t i = 0; i < 8; ++i) iv[i] = static_cast<uint8_t>(key[8 + i] ^ salt[i]);
  } else {
    PutBigEndian32(iv.data(), static_cast<uint32_t>(boots));
    PutBigEndian32(iv.data() + 4, static_cast<uint32_t>(time));
    std::copy(salt.begin(), salt.end(), iv.begin() + 8);
  }
  return iv;
}

}  // namespace

LocalizedKeys::LocalizedKeys(AuthProtocol auth, std::span<const uint8_t> auth_ku, PrivProtocol priv,
                             std::span<const uint8_t> priv_ku, std::span<const uint8_t> engine_id)
    : auth_(auth), priv_(priv) {
  if (auth_ != AuthProtocol::kNone) {
    crypto::Bytes kul = LocalizeKey(auth_, auth_ku, engine_id);
    hmac_ = std::make_unique<crypto::HmacKey>(HashOf(auth_), kul);
    crypto::Cleanse(kul);
  }
  if (priv_ != PrivProtocol::kNone) {
    if (auth_ == AuthProtocol::kNone)
      throw std::invalid_argument("privacy needs an authentication protocol");
    priv_key_ = LocalizePrivKey(auth_, priv_, priv_ku, engine_id);
  }
}

LocalizedKeys::~LocalizedKeys() {
  crypto::Cleanse(priv_key_);
}

void LocalizedKeys::Sign(std::span<uint8_t> message, size_t auth_offset) const {
  const size_t length = MacLength(auth_);
  if (hmac_ == nullptr || auth_offset + length > message.size())
    throw std::logic_error("no place for the MAC, or no authentication key");
  hmac_->Sign({message}, message.subspan(auth_offset, length));
}

bool LocalizedKeys::Verify(std::span<const uint8_t> message, size_t auth_offset) const {
  const size_t length = MacLength(auth_);
  if (hmac_ == nullptr || auth_offset + length > message.size()) return false;
  // The MAC covers the message with its own place filled with zeros.
  static constexpr std::array<uint8_t, 64> kZeros{};
  std::array<uint8_t, 64> mac;
  hmac_->Sign({message.first(auth_offset), std::span(kZeros).first(length),
               message.subspan(auth_offset + length)},
              std::span(mac).first(length));
  return crypto::EqualConstantTime(std::span(mac).first(length),
                                   message.subspan(auth_offset, length));
}

void LocalizedKeys::Encrypt(int32_t boots, int32_t time, uint64_t salt,
                            std::span<const uint8_t> plaintext, crypto::Bytes& ciphertext,
                            std::string& priv_params) const {
  std::array<uint8_t, 8> salt_octets;
  if (priv_ == PrivProtocol::kDes) {
    PutBigEndian32(salt_octets.data(), static_cast<uint32_t>(boots));
    PutBigEndian32(salt_octets.data() + 4, static_cast<uint32_t>(salt));
  } else {
    for (size_t i = 0; i < 8; ++i) salt_octets[i] = static_cast<uint8_t>(salt >> (56 - 8 * i));
  }
  priv_params.assign(salt_octets.begin(), salt_octets.end());
  const auto iv = MakeIv(priv_, priv_key_, boots, time, salt_octets);
  const crypto::Cipher cipher = CipherOf(priv_);
  if (priv_ == PrivProtocol::kDes && plaintext.size() % 8 != 0) {
    // RFC 3414 8.1.1.2: pad to whole blocks; the receiver ignores the padding.
    crypto::Bytes padded(plaintext.begin(), plaintext.end());
    padded.resize((plaintext.size() + 7) / 8 * 8, 0);
    crypto::Encrypt(cipher, priv_key_, iv, padded, ciphertext);
    return;
  }
  crypto::Encrypt(cipher, priv_key_, iv, plaintext, ciphertext);
}

bool LocalizedKeys::Decrypt(int32_t boots, int32_t time, std::string_view priv_params,
                            std::span<const uint8_t> ciphertext, crypto::Bytes& plaintext) const {
  if (priv_params.size() != 8 || priv_key_.empty()) return false;
  std::array<uint8_t, 8> salt;
  std::copy(priv_params.begin(), priv_params.end(), salt.begin());
  const auto iv = MakeIv(priv_, priv_key_, boots, time, salt);
  return crypto::Decrypt(CipherOf(priv_), priv_key_, iv, ciphertext, plaintext);
}

}  // namespace vexa::snmp

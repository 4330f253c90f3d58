// USM authentication and privacy of whole messages, with keys already
// localized for one engine (usm_keys.h):
//
// - Authentication (RFC 3414 6.3 and 7.3, RFC 7860 4.2): the HMAC of the whole
//   message, computed with msgAuthenticationParameters set to zeros of the
//   MAC's length, truncated to MacLength() octets and put in their place.
// - AES privacy (RFC 3826 3.1): CFB-128 over the scoped PDU with the key's
//   first 16, 24 or 32 octets; IV = engine boots (4 octets) || engine time
//   (4) || salt (8), the salt being msgPrivacyParameters.
// - DES privacy (RFC 3414 8.1): CBC with the key's first 8 octets, the scoped
//   PDU padded to whole blocks; msgPrivacyParameters = salt = engine boots
//   (4) || a local counter (4), IV = salt XOR the key's last 8 octets.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "snmp/crypto.h"
#include "snmp/usm_keys.h"

namespace vexa::snmp {

// A user's keys localized for one engine.
class LocalizedKeys {
 public:
  // `auth_ku` and `priv_ku` are the user's keys from PasswordToKey (empty
  // for kNone).
  LocalizedKeys(AuthProtocol auth, std::span<const uint8_t> auth_ku, PrivProtocol priv,
                std::span<const uint8_t> priv_ku, std::span<const uint8_t> engine_id);
  ~LocalizedKeys();
  LocalizedKeys(const LocalizedKeys&) = delete;
  LocalizedKeys& operator=(const LocalizedKeys&) = delete;

  AuthProtocol auth() const { return auth_; }
  PrivProtocol priv() const { return priv_; }

  // Writes the MAC of `message` into its MacLength() octets at `auth_offset`,
  // which must be zeros when this is called.
  void Sign(std::span<uint8_t> message, size_t auth_offset) const;
  // Whether the MacLength() octets at `auth_offset` are the MAC of `message`.
  bool Verify(std::span<const uint8_t> message, size_t auth_offset) const;

  // Encrypts `plaintext` for a message carrying `boots` and `time`; `salt`
  // must differ for every message under the same key (the caller counts).
  // Sets `priv_params` to the octets msgPrivacyParameters carries.
  void Encrypt(int32_t boots, int32_t time, uint64_t salt, std::span<const uint8_t> plaintext,
               crypto::Bytes& ciphertext, std::string& priv_params) const;
  // The reverse. False for a decryption error: salt not 8 octets, or DES
  // data that is not whole blocks.
  bool Decrypt(int32_t boots, int32_t time, std::string_view priv_params,
               std::span<const uint8_t> ciphertext, crypto::Bytes& plaintext) const;

 private:
  AuthProtocol auth_;
  PrivProtocol priv_;
  std::unique_ptr<crypto::HmacKey> hmac_;
  crypto::Bytes priv_key_;
};

}  // namespace vexa::snmp

// The cryptographic primitives USM needs, taken from OpenSSL's libcrypto:
// message digests (the password-to-key expansion), HMAC (message
// authentication), AES in CFB-128 mode and DES in CBC mode (privacy), and
// random octets (salts, message ids). Nothing here is our own primitive.
//
// Algorithms are fetched once per process and reused: the USM layer calls
// HMAC and AES for every datagram. Single DES lives in OpenSSL 3's legacy
// provider, which is loaded into a library context of its own on first use,
// so the process-wide default context stays as it is.
//
// A failure inside libcrypto (out of memory, a provider missing) throws
// CryptoError: it is a broken environment, not a message to drop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vexa::snmp::crypto {

using Bytes = std::vector<uint8_t>;

class CryptoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Hash : uint8_t { kMd5, kSha1, kSha224, kSha256, kSha384, kSha512 };

// Output length of the hash in octets.
size_t HashSize(Hash hash);

// A digest fed in pieces, for inputs that are never held whole in memory.
class Hasher {
 public:
  explicit Hasher(Hash hash);
  ~Hasher();
  Hasher(const Hasher&) = delete;
  Hasher& operator=(const Hasher&) = delete;

  void Update(std::span<const uint8_t> data);
  // The digest of everything fed so far; the hasher is spent afterwards.
  Bytes Final();

 private:
  void* ctx_;  // EVP_MD_CTX
};

Bytes Digest(Hash hash, std::span<const uint8_t> data);

// An HMAC key made ready once (its inner and outer pads hashed), so that each
// message costs only the hashing of the message itself.
class HmacKey {
 public:
  HmacKey(Hash hash, std::span<const uint8_t> key);
  ~HmacKey();
  HmacKey(const HmacKey&) = delete;
  HmacKey& operator=(const HmacKey&) = delete;

  // The HMAC of the concatenated `pieces` into `out`, which holds HashSize()
  // octets or fewer (a truncated MAC keeps the leading octets).
  void Sign(std::initializer_list<std::span<const uint8_t>> pieces, std::span<uint8_t> out) const;

 private:
  Hash hash_;
  void* ctx_;  // EVP_MAC_CTX, keyed
};

// Compares in time that does not depend on where the first difference is.
bool EqualConstantTime(std::span<const uint8_t> a, std::span<const uint8_t> b);

enum class Cipher : uint8_t { kAes128Cfb, kAes192Cfb, kAes256Cfb, kDesCbc };

size_t KeySize(Cipher cipher);
// 16 for AES, 8 for DES.
size_t IvSize(Cipher cipher);
// Whether libcrypto offers the cipher here (single DES needs the legacy
// provider, which a system may lack).
bool CipherAvailable(Cipher cipher);

// Encrypts or decrypts `in` into `out` (resized to in.size()) without
// padding: CFB is a stream mode, and for DES-CBC the caller pads to whole
// blocks. Returns false only when DES-CBC gets a partial block.
bool Encrypt(Cipher cipher, std::span<const uint8_t> key, std::span<const uint8_t> iv,
             std::span<const uint8_t> in, Bytes& out);
bool Decrypt(Cipher cipher, std::span<const uint8_t> key, std::span<const uint8_t> iv,
             std::span<const uint8_t> in, Bytes& out);

// Cryptographically strong random octets.
void RandomBytes(std::span<uint8_t> out);

// Overwrites the octets in a way the compiler may not remove.
void Cleanse(std::span<uint8_t> data);

}  // namespace vexa::snmp::crypto

#include "snmp/crypto.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace vexa::snmp::crypto {

namespace {

[[noreturn]] void Fail(const char* what) {
  const unsigned long code = ERR_get_error();
  char text[256] = "no details";
  if (code != 0) ERR_error_string_n(code, text, sizeof text);
  ERR_clear_error();
  throw CryptoError(std::string("libcrypto: ") + what + ": " + text);
}

const char* HashName(Hash hash) {
  switch (hash) {
    case Hash::kMd5:
      return "MD5";
    case Hash::kSha1:
      return "SHA1";
    case Hash::kSha224:
      return "SHA2-224";
    case Hash::kSha256:
      return "SHA2-256";
    case Hash::kSha384:
      return "SHA2-384";
    case Hash::kSha512:
      return "SHA2-512";
  }
  return "";
}

// Algorithms fetched once and kept for the life of the process.
class Algorithms {
 public:
  static Algorithms& Get() {
    static Algorithms algorithms;
    return algorithms;
  }

  const EVP_MD* Md(Hash hash) {
    EVP_MD*& md = mds_[static_cast<size_t>(hash)];
    std::call_once(md_once_[static_cast<size_t>(hash)],
                   [&] { md = EVP_MD_fetch(nullptr, HashName(hash), nullptr); });
    if (md == nullptr) Fail(HashName(hash));
    return md;
  }

  EVP_MAC* Hmac() {
    std::call_once(mac_once_, [&] { hmac_ = EVP_MAC_fetch(nullptr, "HMAC", nullptr); });
    if (hmac_ == nullptr) Fail("HMAC");
    return hmac_;
  }

  // Null when the cipher is not available (DES without the legacy provider).
  const EVP_CIPHER* Cipher(Cipher cipher) {
    const auto i = static_cast<size_t>(cipher);
    std::call_once(cipher_once_[i], [&] {
      switch (cipher) {
        case Cipher::kAes128Cfb:
          ciphers_[i] = EVP_CIPHER_fetch(nullptr, "AES-128-CFB", nullptr);
          break;
        case Cipher::kAes192Cfb:
          ciphers_[i] = EVP_CIPHER_fetch(nullptr, "AES-192-CFB", nullptr);
          break;
        case Cipher::kAes256Cfb:
          ciphers_[i] = EVP_CIPHER_fetch(nullptr, "AES-256-CFB", nullptr);
          break;
        case Cipher::kDesCbc:
          // Single DES is only in the legacy provider; load it into a
          // context of our own rather than into the process-wide default.
          legacy_ctx_ = OSSL_LIB_CTX_new();
          if (legacy_ctx_ == nullptr) break;
          legacy_ = OSSL_PROVIDER_load(legacy_ctx_, "legacy");
          default_ = OSSL_PROVIDER_load(legacy_ctx_, "default");
          if (legacy_ != nullptr && default_ != nullptr)
            ciphers_[i] = EVP_CIPHER_fetch(legacy_ctx_, "DES-CBC", nullptr);
          ERR_clear_error();
          break;
      }
    });
    return ciphers_[i];
  }

 private:
  Algorithms() = default;
  ~Algorithms() {
    for (EVP_MD* md : mds_) EVP_MD_free(md);
    for (EVP_CIPHER* c : ciphers_) EVP_CIPHER_free(c);
    EVP_MAC_free(hmac_);
    if (legacy_ != nullptr) OSSL_PROVIDER_unload(legacy_);
    if (default_ != nullptr) OSSL_PROVIDER_unload(default_);
    OSSL_LIB_CTX_free(legacy_ctx_);
  }

  std::array<EVP_MD*, 6> mds_{};
  std::array<std::once_flag, 6> md_once_;
  EVP_MAC* hmac_ = nullptr;
  std::once_flag mac_once_;
  std::array<EVP_CIPHER*, 4> ciphers_{};
  std::array<std::once_flag, 4> cipher_once_;
  OSSL_LIB_CTX* legacy_ctx_ = nullptr;
  OSSL_PROVIDER* legacy_ = nullptr;
  OSSL_PROVIDER* default_ = nullptr;
};

bool Crypt(bool encrypt, Cipher cipher, std::span<const uint8_t> key, std::span<const uint8_t> iv,
           std::span<const uint8_t> in, Bytes& out) {
  if (key.size() < KeySize(cipher) || iv.size() < IvSize(cipher))
    throw CryptoError("libcrypto: key or IV too short for the cipher");
  if (cipher == Cipher::kDesCbc && in.size() % 8 != 0) return false;
  const EVP_CIPHER* algorithm = Algorithms::Get().Cipher(cipher);
  if (algorithm == nullptr) Fail("DES-CBC is not available (OpenSSL legacy provider)");
  out.resize(in.size());
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  if (ctx == nullptr) Fail("EVP_CIPHER_CTX_new");
  int written = 0;
  int final_written = 0;
  const bool ok =
      EVP_CipherInit_ex2(ctx, algorithm, key.data(), iv.data(), encrypt ? 1 : 0, nullptr) == 1 &&
      EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 &&
      (in.empty() ||
       EVP_CipherUpdate(ctx, out.data(), &written, in.data(), static_cast<int>(in.size())) == 1) &&
      EVP_CipherFinal_ex(ctx, out.data() + written, &final_written) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) Fail("cipher");
  return true;
}

}  // namespace

size_t HashSize(Hash hash) {
  switch (hash) {
    case Hash::kMd5:
      return 16;
    case Hash::kSha1:
      return 20;
    case Hash::kSha224:
      return 28;
    case Hash::kSha256:
      return 32;
    case Hash::kSha384:
      return 48;
    case Hash::kSha512:
      return 64;
  }
  return 0;
}

Hasher::Hasher(Hash hash) : ctx_(EVP_MD_CTX_new()) {
  if (ctx_ == nullptr) Fail("EVP_MD_CTX_new");
  if (EVP_DigestInit_ex2(static_cast<EVP_MD_CTX*>(ctx_), Algorithms::Get().Md(hash), nullptr) !=
      1) {
    EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx_));
    Fail("EVP_DigestInit_ex2");
  }
}

Hasher::~Hasher() {
  EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(ctx_));
}

void Hasher::Update(std::span<const uint8_t> data) {
  if (EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(ctx_), data.data(), data.size()) != 1)
    Fail("EVP_DigestUpdate");
}

Bytes Hasher::Final() {
  Bytes out(EVP_MAX_MD_SIZE);
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(ctx_), out.data(), &size) != 1)
    Fail("EVP_DigestFinal_ex");
  out.resize(size);
  return out;
}

Bytes Digest(Hash hash, std::span<const uint8_t> data) {
  Hasher hasher(hash);
  hasher.Update(data);
  return hasher.Final();
}

HmacKey::HmacKey(Hash hash, std::span<const uint8_t> key)
    : hash_(hash), ctx_(EVP_MAC_CTX_new(Algorithms::Get().Hmac())) {
  if (ctx_ == nullptr) Fail("EVP_MAC_CTX_new");
  const OSSL_PARAM params[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(HashName(hash)), 0),
      OSSL_PARAM_construct_end()};
  if (EVP_MAC_init(static_cast<EVP_MAC_CTX*>(ctx_), key.data(), key.size(), params) != 1) {
    EVP_MAC_CTX_free(static_cast<EVP_MAC_CTX*>(ctx_));
    Fail("EVP_MAC_init");
  }
}

HmacKey::~HmacKey() {
  EVP_MAC_CTX_free(static_cast<EVP_MAC_CTX*>(ctx_));
}

void HmacKey::Sign(std::initializer_list<std::span<const uint8_t>> pieces,
                   std::span<uint8_t> out) const {
  // The keyed context stays untouched; each message works on a copy of it.
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_dup(static_cast<const EVP_MAC_CTX*>(ctx_));
  if (ctx == nullptr) Fail("EVP_MAC_CTX_dup");
  std::array<uint8_t, EVP_MAX_MD_SIZE> mac;
  size_t size = 0;
  bool ok = true;
  for (const auto& piece : pieces) ok = ok && EVP_MAC_update(ctx, piece.data(), piece.size()) == 1;
  ok = ok && EVP_MAC_final(ctx, mac.data(), &size, mac.size()) == 1;
  EVP_MAC_CTX_free(ctx);
  if (!ok || size != HashSize(hash_) || out.size() > size) Fail("HMAC");
  std::copy(mac.begin(), mac.begin() + static_cast<std::ptrdiff_t>(out.size()), out.begin());
  Cleanse(mac);
}

bool EqualConstantTime(std::span<const uint8_t> a, std::span<const uint8_t> b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

size_t KeySize(Cipher cipher) {
  switch (cipher) {
    case Cipher::kAes128Cfb:
      return 16;
    case Cipher::kAes192Cfb:
      return 24;
    case Cipher::kAes256Cfb:
      return 32;
    case Cipher::kDesCbc:
      return 8;
  }
  return 0;
}

size_t IvSize(Cipher cipher) {
  return cipher == Cipher::kDesCbc ? 8 : 16;
}

bool CipherAvailable(Cipher cipher) {
  return Algorithms::Get().Cipher(cipher) != nullptr;
}

bool Encrypt(Cipher cipher, std::span<const uint8_t> key, std::span<const uint8_t> iv,
             std::span<const uint8_t> in, Bytes& out) {
  return Crypt(true, cipher, key, iv, in, out);
}

bool Decrypt(Cipher cipher, std::span<const uint8_t> key, std::span<const uint8_t> iv,
             std::span<const uint8_t> in, Bytes& out) {
  return Crypt(false, cipher, key, iv, in, out);
}

void RandomBytes(std::span<uint8_t> out) {
  if (RAND_bytes(out.data(), static_cast<int>(out.size())) != 1) Fail("RAND_bytes");
}

void Cleanse(std::span<uint8_t> data) {
  OPENSSL_cleanse(data.data(), data.size());
}

}  // namespace vexa::snmp::crypto

#pragma once

#include <sodium.h>

#include <array>
#include <string>

namespace qz {

// Ed25519 keys as text: public keys as base64 of their 32 bytes (the form the build
// option takes), secret keys as base64 of libsodium's 64 bytes (seed, then public key).
class SigningKeys {
 public:
  using PublicKey = std::array<unsigned char, crypto_sign_PUBLICKEYBYTES>;
  using SecretKey = std::array<unsigned char, crypto_sign_SECRETKEYBYTES>;

  // A fresh key pair.
  static SecretKey Generate();
  static PublicKey PublicOf(const SecretKey& secret);

  // Throw qz::Error(kBadKey) for text that is not base64 of the right length, or a
  // secret key whose public half does not belong to its seed.
  static PublicKey ParsePublic(const std::string& text);
  static SecretKey ParseSecret(const std::string& text);

  static std::string ToBase64(const unsigned char* bytes, size_t size);
  // Nothing when `text` is not padded standard base64 of exactly `size` bytes.
  static bool FromBase64(const std::string& text, unsigned char* bytes, size_t size);

  template <size_t N>
  static std::string ToBase64(const std::array<unsigned char, N>& bytes) {
    return ToBase64(bytes.data(), N);
  }

  static constexpr int32_t kBadKey = static_cast<int32_t>(0x80090005);
};

}  // namespace qz

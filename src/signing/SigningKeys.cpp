#include "signing/SigningKeys.h"

#include <vector>

#include "platform/Error.h"

namespace qz {
namespace {

constexpr int kBase64 = sodium_base64_VARIANT_ORIGINAL;

void Ready() {
  if (sodium_init() < 0) throw Error(SigningKeys::kBadKey, "libsodium cannot be initialised.");
}

}  // namespace

SigningKeys::SecretKey SigningKeys::Generate() {
  Ready();
  PublicKey publicKey;
  SecretKey secret;
  crypto_sign_keypair(publicKey.data(), secret.data());
  return secret;
}

SigningKeys::PublicKey SigningKeys::PublicOf(const SecretKey& secret) {
  PublicKey publicKey;
  crypto_sign_ed25519_sk_to_pk(publicKey.data(), secret.data());
  return publicKey;
}

SigningKeys::PublicKey SigningKeys::ParsePublic(const std::string& text) {
  PublicKey key;
  if (!FromBase64(text, key.data(), key.size())) {
    throw Error(kBadKey, "\"" + text + "\" is not a public key (base64 of 32 bytes).");
  }
  return key;
}

SigningKeys::SecretKey SigningKeys::ParseSecret(const std::string& text) {
  Ready();
  SecretKey secret;
  if (!FromBase64(text, secret.data(), secret.size())) {
    throw Error(kBadKey, "This is not a secret key (base64 of 64 bytes).");
  }
  PublicKey fromSeed, stored = PublicOf(secret);
  SecretKey check;
  crypto_sign_seed_keypair(fromSeed.data(), check.data(), secret.data());
  sodium_memzero(check.data(), check.size());
  if (fromSeed != stored) throw Error(kBadKey, "This secret key is damaged.");
  return secret;
}

std::string SigningKeys::ToBase64(const unsigned char* bytes, size_t size) {
  std::vector<char> text(sodium_base64_encoded_len(size, kBase64));
  sodium_bin2base64(text.data(), text.size(), bytes, size, kBase64);
  return text.data();
}

bool SigningKeys::FromBase64(const std::string& text, unsigned char* bytes, size_t size) {
  size_t length = 0;
  const char* end = nullptr;
  if (sodium_base642bin(bytes, size, text.data(), text.size(), nullptr, &length, &end, kBase64) !=
      0) {
    return false;
  }
  return length == size && end == text.data() + text.size();
}

}  // namespace qz

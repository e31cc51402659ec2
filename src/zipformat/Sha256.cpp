#include "zipformat/Sha256.h"

namespace qz {

Sha256::Sha256() {
  crypto_hash_sha256_init(&state_);
}

void Sha256::Add(const char* data, size_t size) {
  crypto_hash_sha256_update(&state_, reinterpret_cast<const unsigned char*>(data), size);
}

std::string Sha256::Hex() const {
  crypto_hash_sha256_state copy = state_;
  unsigned char digest[crypto_hash_sha256_BYTES];
  crypto_hash_sha256_final(&copy, digest);
  char hex[sizeof digest * 2 + 1];
  sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
  return hex;
}

std::string Sha256::HexOf(std::string_view bytes) {
  Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  return hash.Hex();
}

}  // namespace qz

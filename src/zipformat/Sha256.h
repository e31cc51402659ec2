#pragma once

#include <sodium.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace qz {

// SHA-256 of a byte stream fed in pieces, so a file is hashed while it passes by.
class Sha256 {
 public:
  Sha256();

  void Add(const char* data, size_t size);

  // The digest of everything added so far, as 64 lowercase hex digits. Adding may go on.
  std::string Hex() const;

  // The digest of `bytes` held whole in memory, as Hex gives it.
  static std::string HexOf(std::string_view bytes);

 private:
  crypto_hash_sha256_state state_;
};

}  // namespace qz

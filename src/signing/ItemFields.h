#pragma once

#include <cstdint>
#include <string>

namespace qz {

// The fields that signed items are made of, read strictly so that one value has one
// spelling and the signed text is the one the file holds.
class ItemFields {
 public:
  // Decimal digits without leading zeros, at most 19 of them (so it fits 64 bits).
  static bool IsSize(const std::string& text);
  // Exactly 64 lowercase hex digits.
  static bool IsSha256(const std::string& text);
  // `value` split at its first two spaces; false when it has fewer than two.
  static bool SplitThree(const std::string& value, std::string& first, std::string& second,
                         std::string& rest);

  // Throws qz::Error(SignedRelease::kMalformed) saying `what`.
  [[noreturn]] static void Malformed(const std::string& what);
};

}  // namespace qz

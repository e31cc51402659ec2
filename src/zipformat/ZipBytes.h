#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

// Little-endian fields of zip records, read with bounds checks and written in place.
class ZipBytes {
 public:
  // The field at `at`; throws qz::Error when the bytes end before it does.
  static uint16_t U16(std::string_view bytes, size_t at);
  static uint32_t U32(std::string_view bytes, size_t at);
  static uint64_t U64(std::string_view bytes, size_t at);

  static void Put16(std::string& bytes, size_t at, uint16_t value);
  static void Put32(std::string& bytes, size_t at, uint32_t value);
  static void Put64(std::string& bytes, size_t at, uint64_t value);
  static void Append16(std::string& bytes, uint16_t value);
  static void Append32(std::string& bytes, uint32_t value);
  static void Append64(std::string& bytes, uint64_t value);
};

}  // namespace qz

#pragma once

#include <cstddef>
#include <string>

namespace qz::test {

// `size` bytes of a pattern whose short runs do not repeat, so a byte out of place shows.
inline std::string PatternBytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  return bytes;
}

}  // namespace qz::test

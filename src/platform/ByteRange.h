#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

// Bytes `first` to `last` of a file, both included, as HTTP ranges count them; or, asked
// for before the file's length is known, its last `suffixLength` bytes.
struct ByteRange {
  uint64_t first = 0;
  uint64_t last = 0;
  // Not 0: the range is the file's last this many bytes (all of a shorter file).
  uint64_t suffixLength = 0;

  static ByteRange Suffix(uint64_t length) { return ByteRange{0, 0, length}; }

  uint64_t Length() const { return last - first + 1; }
  bool operator==(const ByteRange&) const = default;

  // The value of a Range header asking for `ranges` in their order ("bytes=0-9,20-29").
  static std::string RangeHeaderValue(const std::vector<ByteRange>& ranges);

  // Reads a Content-Range value ("bytes 100-199/200"; the total may be "*", giving -1).
  // False when it is not a satisfied byte range or its last byte lies beyond the total.
  static bool ParseContentRange(const std::string& value, ByteRange& range, int64_t& total);
  // The length a 416's Content-Range value names ("bytes */200" gives 200); -1 for any
  // other value.
  static int64_t UnsatisfiedLength(const std::string& value);
};

}  // namespace qz

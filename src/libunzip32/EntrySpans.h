#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qz::unzip32 {

// Where each member's local header and data begin, read straight from the archive's
// central directory. A sound archive never lets two members share bytes; a crafted one
// does, so that a small archive writes a huge amount (many entries over one body).
class EntrySpans {
 public:
  struct Span {
    uint64_t index = 0;  // position in the central directory, as the archive library counts
    uint64_t offset = 0;
    uint64_t compressedSize = 0;
  };

  // The spans of every member in directory order; empty when the directory cannot be
  // read, which the archive library then reports in its own words.
  static std::vector<Span> Read(const std::string& path);

  // The indexes of the first two members whose local header and data overlap. Each
  // member takes at least a 30-byte local header plus its compressed data.
  static std::optional<std::pair<uint64_t, uint64_t>> FirstOverlap(std::vector<Span> spans);
};

}  // namespace qz::unzip32

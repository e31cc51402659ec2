#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

class FileSystem;

// One chunk of a page file as its companion lists it.
struct PageChunk {
  std::string hash;     // PageIndex::kHashBytes of BLAKE2b over the chunk's own bytes
  uint64_t offset = 0;  // where its deflated bytes start in the companion
  uint32_t stored = 0;  // their length; equal to `size`: the bytes are stored as they are
  uint32_t size = 0;    // the chunk's length in the file
};

// The header of a page file's companion, which lists the file in fixed-size chunks (a
// whole number of database pages) and is followed by each chunk deflated on its own, in
// order. All numbers little-endian:
//   "QzPages1"  u64 header length  u64 file size  u32 chunk size  file SHA-256 (32 bytes)
//   per chunk:  hash (32 bytes)  u32 stored length
class PageIndex {
 public:
  static constexpr size_t kFixedBytes = 8 + 8 + 8 + 4 + 32;
  static constexpr size_t kEntryBytes = 32 + 4;
  static constexpr size_t kHashBytes = 32;
  static constexpr uint32_t kMinChunk = 512;
  static constexpr uint32_t kMaxChunk = 1 << 20;

  // The header's whole length as its first kFixedBytes state it; throws qz::Error when
  // they are not a companion's.
  static uint64_t HeaderLength(std::string_view fixed);

  // Reads a whole header; throws qz::Error naming what does not add up.
  static PageIndex Parse(std::string_view header);

  // The header of a file of `fileSize` bytes with `chunks` (offsets ignored; taken to follow
  // the header in order).
  static std::string Header(uint64_t fileSize, uint32_t chunkSize, const std::string& sha256Hex,
                            const std::vector<PageChunk>& chunks);

  // The hash the index keeps of a chunk.
  static std::string HashOf(const char* data, size_t size);

  // Hands the file at `path` to `chunk` in pieces of `chunkSize` bytes (the last may be
  // shorter), each with its offset, in order. Throws qz::Error when the file fails, and
  // passes on what `chunk` throws.
  static void ReadInChunks(
      FileSystem& files, const std::string& path, uint64_t chunkSize,
      const std::function<void(const std::string& piece, uint64_t offset)>& chunk);

  // The companion's whole length: the header and every chunk's stored bytes.
  uint64_t CompanionSize() const;

  uint64_t headerLength = 0;
  uint64_t fileSize = 0;
  uint32_t chunkSize = 0;
  std::string sha256;  // the file's, 64 lowercase hex digits
  std::vector<PageChunk> chunks;
};

}  // namespace qz

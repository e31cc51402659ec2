#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "zipformat/ZipMember.h"

namespace qz {

// Reads a zip archive's central directory from pieces of the archive, so the members can
// be known without the whole file. Anything that is not a sound single-disk zip or zip64
// throws qz::Error saying what is wrong.
class CentralDirectory {
 public:
  // The end-of-directory records are found within this many bytes from the end: the
  // 22-byte record with the longest comment a zip allows.
  static constexpr uint64_t kTailBytes = (64 << 10) + 22;

  struct Location {
    uint64_t offset = 0;
    uint64_t size = 0;
    uint64_t entries = 0;
    // Where the end records (zip64 or not) begin: nothing of a member lies beyond.
    uint64_t end = 0;
  };

  // Finds the directory from `tail`, the bytes of a `fileLength`-byte archive from
  // `tailOffset` to its end.
  static Location Locate(std::string_view tail, uint64_t tailOffset, uint64_t fileLength);

  // Finds the directory of a whole archive held in memory.
  static Location LocateInArchive(std::string_view archive);

  // The members that `bytes` (the directory at `location`, whole) lists, in its order.
  static std::vector<ZipMember> Members(std::string_view bytes, const Location& location);

  // The length of `member`'s entry as the archive stores it: its local header with the
  // header's own name and extra lengths, its data and any data descriptor. `bytes` start at
  // the local header and may run past the entry.
  static uint64_t EntryLength(std::string_view bytes, const ZipMember& member);

  // Where `member`'s data start in `bytes` (which start at its local header): after the
  // header with the header's own name and extra lengths. Refuses a header that is not
  // `member`'s.
  static uint64_t DataOffset(std::string_view bytes, const ZipMember& member);
};

}  // namespace qz

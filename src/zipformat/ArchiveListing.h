#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

// One file member of VQ.Zip as its vendor lists it: the name it is installed under
// (folders dropped), its uncompressed size and the SHA-256 of its uncompressed bytes.
struct ArchiveMemberItem {
  uint64_t size = 0;
  std::string sha256;  // 64 lowercase hex digits
  std::string name;    // decoded
};

// What pins an archive member by member: where its central directory starts, how long it
// is to the file's end and its SHA-256, and each file member in directory order.
struct ArchiveListing {
  // The archive's length: the directory runs to its end.
  uint64_t ArchiveSize() const { return directoryOffset + directoryLength; }

  uint64_t directoryOffset = 0;
  uint64_t directoryLength = 0;
  std::string directorySha256;
  std::vector<ArchiveMemberItem> members;
};

}  // namespace qz

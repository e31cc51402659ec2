#pragma once

#include <cstddef>
#include <cstdint>

struct zip_file;

namespace qz::unzip32 {

class ZipArchive;

// The uncompressed data of one member, read piece by piece. The archive library checks
// the CRC when the last piece has been read. Failures throw ZipError.
class MemberReader {
 public:
  // `password` may be null for a member that is not encrypted.
  MemberReader(const ZipArchive& archive, uint64_t index, uint64_t size, const char* password);
  ~MemberReader();
  MemberReader(const MemberReader&) = delete;
  MemberReader& operator=(const MemberReader&) = delete;

  // Fills up to `capacity` bytes; returns 0 at the end of a member that checked.
  size_t Read(char* buffer, size_t capacity);

 private:
  zip_file* file_ = nullptr;
  uint64_t expected_;
  uint64_t total_ = 0;
};

}  // namespace qz::unzip32

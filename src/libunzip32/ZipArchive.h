#pragma once

#include <cstdint>
#include <ctime>
#include <string>

struct zip;

namespace qz::unzip32 {

// A zip archive opened for reading. Failures throw ZipError.
class ZipArchive {
 public:
  enum class Kind { kFile, kFolder, kLink, kSpecial };

  struct Member {
    uint64_t index = 0;
    std::string name;
    uint64_t size = 0;
    uint64_t compressedSize = 0;
    uint32_t crc = 0;
    time_t modified = 0;
    uint16_t method = 0;
    uint16_t encryption = 0;
    Kind kind = Kind::kFile;
    uint32_t permissions = 0;  // Unix permission bits; 0 when the archive stores none
  };

  // Reads the archive's directory. The stricter consistency check of the archive library
  // is not used: it rejects sound archives written as a stream (zip64 local headers);
  // each member's data is still checked when it is read.
  explicit ZipArchive(const std::string& path);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  uint64_t Count() const;
  Member Stat(uint64_t index) const;
  uint32_t CommentLength() const;
  zip* Handle() const { return archive_; }

  // A readable name of the compression method.
  static const char* MethodName(uint16_t method);

 private:
  zip* archive_ = nullptr;
};

}  // namespace qz::unzip32

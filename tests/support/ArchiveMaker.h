#pragma once

#include <cstdint>
#include <ctime>
#include <deque>
#include <string>

struct zip;

namespace qz::test {

// Unix file types as zip archives store them, whatever system reads the archive.
inline constexpr uint32_t kUnixSymlink = 0120000;
inline constexpr uint32_t kUnixCharDevice = 0020000;

// Writes a zip archive for a test, member by member.
class ArchiveMaker {
 public:
  struct Options {
    bool stored = false;      // no compression, so tests can find and damage the data
    time_t modified = 0;      // 0: now
    uint16_t encryption = 0;  // ZIP_EM_...
    std::string password;
    uint32_t unixMode = 0;  // full Unix st_mode with type bits; 0: none stored
  };

  // `size` bytes that do not compress, the same for the same `seed` and different for others.
  static std::string Incompressible(size_t size, uint32_t seed);
  // Other bytes of the same length (at least 5) and the same CRC-32: the first byte
  // changed, the last four chosen to make up for it.
  static std::string WithSameCrc32(const std::string& bytes);

  explicit ArchiveMaker(const std::string& path);
  ~ArchiveMaker();

  ArchiveMaker& Add(const std::string& name, const std::string& data, const Options& options);
  ArchiveMaker& Add(const std::string& name, const std::string& data) {
    return Add(name, data, Options{});
  }
  ArchiveMaker& AddFolder(const std::string& name);
  // Writes the archive; the maker cannot be used afterwards.
  void Close();

 private:
  zip* archive_;
  std::deque<std::string> data_;
};

// Changes the first byte of the first copy of `data` in the file at `path`.
void DamageFile(const std::string& path, const std::string& data);
// Gives the archive's first member the compression method `method` in both its headers.
void SetFirstMethod(const std::string& path, uint16_t method);
// Cuts the file at `path` to its first `size` bytes.
void TruncateFile(const std::string& path, size_t size);

}  // namespace qz::test

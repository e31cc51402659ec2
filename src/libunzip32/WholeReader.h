#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "libunzip32/ZipArchive.h"

struct libdeflate_decompressor;

namespace qz::unzip32 {

// Reads members that are stored or deflated, not encrypted and small enough to be held
// whole: each in one piece from the archive file, inflated in one step and checked against
// the directory's size and CRC. This costs a few system calls per member where streaming
// through the archive library reads in pieces of a few KiB, and inflates about twice as
// fast. Every other member is streamed by MemberReader. Failures throw ZipError with the
// codes the archive library would give.
class WholeReader {
 public:
  // Opens the archive at the UTF-8 `path`; a file that cannot be opened fails each Read.
  explicit WholeReader(const std::string& path);
  ~WholeReader();
  WholeReader(const WholeReader&) = delete;
  WholeReader& operator=(const WholeReader&) = delete;

  // True when `member` can be read here.
  static bool Suits(const ZipArchive::Member& member);
  // The checked data of `member` (one that Suits), whose local header starts at `offset`;
  // valid until the next call.
  std::string_view Read(const ZipArchive::Member& member, uint64_t offset);

 private:
  // Reads up to `size` bytes at `offset`; fewer at the end of the file.
  size_t ReadAt(uint64_t offset, char* data, size_t size);
  std::string_view Inflate(const ZipArchive::Member& member, std::string_view compressed);

  std::ifstream file_;
  libdeflate_decompressor* decompressor_;
  std::vector<char> compressed_;
  std::vector<char> data_;
};

}  // namespace qz::unzip32

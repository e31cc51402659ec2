#pragma once

#include <string>

namespace qz {

// The bytes an archive password must have. Zip encryption works on the bytes that the
// packer's system used, which for archives made on Windows is the ANSI code page.
class ArchivePassword {
 public:
  // The typed password as an archive made on Windows expects it. On Windows the answer is
  // already in the ANSI code page. Elsewhere it arrives as UTF-8 and becomes
  // Windows-1252 when every character has a place there; otherwise, or when it is not
  // UTF-8, it stays as typed.
  static std::string FromAnswer(const std::string& answer);
};

}  // namespace qz

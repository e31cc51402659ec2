#pragma once

#include <filesystem>
#include <string>

namespace qz::unzip32 {

// The library works on UTF-8 throughout, as the archive library gives member names; its
// caller speaks the system's 8-bit text. On Windows that is the ANSI code page, so paths
// coming in and texts going out (printed lines, names in questions) are converted there;
// elsewhere both are UTF-8 and nothing changes.
class CallerText {
 public:
  // A text from the caller, as UTF-8.
  static std::string Inward(const char* text);
  // A UTF-8 text for the caller; characters its code page lacks become "?".
  static std::string Outward(const std::string& text);
  // A UTF-8 path for the standard library's file streams.
  static std::filesystem::path FilePath(const std::string& path) {
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
  }
};

}  // namespace qz::unzip32

#pragma once

#include <string>

namespace qz::unzip32 {

// Conversions between the library's UTF-8 texts and the wide texts of the Win32 file
// calls.
class WidePath {
 public:
  // `path` as a path that the wide file calls take at any length: separators become
  // backslashes, and a long path becomes absolute with the "\\?\" prefix.
  static std::wstring From(const std::string& path);
  static std::wstring Wide(const std::string& text);
  static std::string Utf8(const std::wstring& text);
};

}  // namespace qz::unzip32

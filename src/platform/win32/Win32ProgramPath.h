#pragma once

#include <string>
#include <string_view>

namespace qz {

// The running executable's path, as the system knows it.
class Win32ProgramPath {
 public:
  // The full path from GetModuleFileNameW (its long form as a rule).
  static std::wstring Full();
  // `path` as the system's other form: long when given a short (8.3) one and the other way
  // round; `path` itself when the file system has no such form.
  static std::wstring Long(const std::wstring& path);
  static std::wstring Short(const std::wstring& path);
  // The folder that holds `program`, without a trailing separator except at a drive's
  // root ("C:\"), where dropping it would name the drive's current folder instead.
  static std::wstring FolderOf(std::wstring_view program);
};

}  // namespace qz

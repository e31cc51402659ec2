#include "platform/win32/Win32ProgramPath.h"

#include "platform/win32/WindowsApi.h"

namespace qz {
namespace {

// Calls `convert` with a growing buffer until the result fits; `path` when it fails.
template <typename Convert>
std::wstring Converted(const std::wstring& path, Convert convert) {
  std::wstring result(MAX_PATH, L'\0');
  while (true) {
    DWORD length = convert(path.c_str(), result.data(), static_cast<DWORD>(result.size()));
    if (length == 0) return path;
    if (length < result.size()) {
      result.resize(length);
      return result;
    }
    result.resize(length + 1);
  }
}

}  // namespace

std::wstring Win32ProgramPath::Full() {
  std::wstring path(MAX_PATH, L'\0');
  while (true) {
    DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

std::wstring Win32ProgramPath::Long(const std::wstring& path) {
  return Converted(path, GetLongPathNameW);
}

std::wstring Win32ProgramPath::Short(const std::wstring& path) {
  return Converted(path, GetShortPathNameW);
}

std::wstring Win32ProgramPath::FolderOf(std::wstring_view program) {
  const size_t last = program.find_last_of(L"\\/");
  if (last == std::wstring_view::npos) return {};
  const bool driveRoot = last == 2 && program[1] == L':';
  return std::wstring(program.substr(0, driveRoot ? last + 1 : last));
}

}  // namespace qz

#include "platform/win32/Win32DynamicLibrary.h"

#include <windows.h>

#include "platform/Error.h"
#include "platform/win32/WideText.h"

namespace qz {
namespace {

// "X:\..." or "X:/..." or a UNC path "\\server\share\...".
bool IsAbsolute(const std::string& path) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  if (path.size() >= 3 && path[1] == ':' && separator(path[2])) return true;
  return path.size() >= 2 && separator(path[0]) && separator(path[1]);
}

}  // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path) {
  return std::make_unique<Win32DynamicLibrary>(path);
}

void Win32DynamicLibrary::RestrictDllSearch() {
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32 | LOAD_LIBRARY_SEARCH_USER_DIRS);
  SetDllDirectoryW(L"");
}

Win32DynamicLibrary::Win32DynamicLibrary(const std::string& path) : module_(nullptr) {
  RestrictDllSearch();
  if (!IsAbsolute(path)) throw Error::Standard(Error::kDllLoad);
  module_ = LoadLibraryExW(WideText::FromAnsi(path).c_str(), nullptr,
                           LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (module_ == nullptr) throw Error::Standard(Error::kDllLoad);
}

Win32DynamicLibrary::~Win32DynamicLibrary() {
  FreeLibrary(static_cast<HMODULE>(module_));
}

void* Win32DynamicLibrary::Function(const std::string& name) {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(module_), name.c_str());
  if (address == nullptr) throw Error::Standard(Error::kDllFunctionNotFound);
  return reinterpret_cast<void*>(address);
}

}  // namespace qz

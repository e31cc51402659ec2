#pragma once

#include <string>

#include "platform/DynamicLibrary.h"

namespace qz {

// A DLL loaded by its full path only. A relative path is refused, and the DLLs it imports
// are looked up in its own folder and the system folder only, so a DLL of the same name
// planted in the current folder or on PATH is never loaded.
class Win32DynamicLibrary : public DynamicLibrary {
 public:
  // qz::Error 48 when `path` is not absolute or the DLL cannot be loaded.
  explicit Win32DynamicLibrary(const std::string& path);
  ~Win32DynamicLibrary() override;
  Win32DynamicLibrary(const Win32DynamicLibrary&) = delete;
  Win32DynamicLibrary& operator=(const Win32DynamicLibrary&) = delete;

  void* Function(const std::string& name) override;

  // Restricts the whole process's DLL search to the system folder (and folders added
  // explicitly) and drops the current folder from it. The first Open does this too; the
  // program calls it first thing so that no later load uses the classic search order.
  static void RestrictDllSearch();

 private:
  void* module_;  // HMODULE
};

}  // namespace qz

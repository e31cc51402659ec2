#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace qz {

// New contents for a file, written to a temporary file in the same folder and moved over
// the target only when complete and flushed (MoveFileEx with write-through), so the
// target is either the old file or the whole new one, even after a crash or power cut.
// Without Commit the temporary file is removed. Every operation returns 0 or the Win32
// error code of the failure.
class Win32ReplacementFile {
 public:
  // `target` as the program spells it, in the ANSI code page.
  explicit Win32ReplacementFile(const std::string& target);
  ~Win32ReplacementFile();
  Win32ReplacementFile(const Win32ReplacementFile&) = delete;
  Win32ReplacementFile& operator=(const Win32ReplacementFile&) = delete;

  // Creates the temporary file beside the target (ERROR_PATH_NOT_FOUND: no such folder).
  DWORD Open();
  // Appends all `size` bytes.
  DWORD Write(const char* data, size_t size);
  // Flushes, closes and moves the temporary file over the target.
  DWORD Commit();

 private:
  void Discard();

  std::wstring target_;
  std::wstring temporary_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace qz

#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/TransferTarget.h"

namespace qz {

// New contents for a file, written to a temporary file in the same folder and moved over
// the target only when complete and flushed (MoveFileEx with write-through), so the
// target is either the old file or the whole new one, even after a crash or power cut.
// Without Commit the temporary file is removed. Every operation returns 0 or the Win32
// error code of the failure (GetLastError).
class Win32ReplacementFile : public TransferTarget {
 public:
  // `target` as the program spells it, in the ANSI code page.
  explicit Win32ReplacementFile(const std::string& target);
  ~Win32ReplacementFile() override;
  Win32ReplacementFile(const Win32ReplacementFile&) = delete;
  Win32ReplacementFile& operator=(const Win32ReplacementFile&) = delete;

  // Creates the temporary file beside the target (ERROR_PATH_NOT_FOUND: no such folder).
  int Open();
  // Appends all `size` bytes.
  int Write(const char* data, size_t size) override;
  // Flushes, closes and moves the temporary file over the target.
  int Commit() override;

 private:
  void Discard();

  std::string targetAnsi_;
  std::wstring target_;
  std::wstring temporary_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
};

}  // namespace qz

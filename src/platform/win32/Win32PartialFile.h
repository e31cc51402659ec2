#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/ResumableTarget.h"

namespace qz {

// A download's body kept at `partial` across attempts, with its validator in `partial` +
// ".validator"; Commit moves it over `target` (same volume, write-through) and leaves the
// validator, so a caller that puts the whole file back at `partial` keeps a part that the
// next attempt confirms instead of fetching it again. Without Commit both stay, flushed,
// for the next attempt, unless the part is empty: then neither stays. Paths are in the
// ANSI code page; every operation returns 0 or the Win32 error code (GetLastError).
class Win32PartialFile : public ResumableTarget {
 public:
  Win32PartialFile(const std::string& partial, const std::string& target);
  ~Win32PartialFile() override;
  Win32PartialFile(const Win32PartialFile&) = delete;
  Win32PartialFile& operator=(const Win32PartialFile&) = delete;

  // Opens or creates the partial file and reads what was kept (ERROR_PATH_NOT_FOUND: no
  // such folder).
  int Open();

  uint64_t Kept() const override { return kept_; }
  const std::string& Validator() const override { return validator_; }
  int StartOver(const std::string& validator) override;
  int ReadBack(const std::function<bool(const char*, size_t)>& piece) override;
  int Write(const char* data, size_t size) override;
  int Commit() override;

 private:
  std::wstring ValidatorPath() const { return partial_ + L".validator"; }

  std::wstring partial_;
  std::wstring target_;
  std::string validator_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  uint64_t kept_ = 0;
};

}  // namespace qz

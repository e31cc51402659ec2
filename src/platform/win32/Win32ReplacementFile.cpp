#include "platform/win32/Win32ReplacementFile.h"

#include <random>

#include "platform/TemporaryFileName.h"
#include "platform/win32/WideText.h"

namespace qz {
namespace {

constexpr int kNameAttempts = 100;
// WriteFile takes at most a DWORD at a time.
constexpr size_t kMaxWrite = size_t{1} << 30;

std::wstring TemporaryName(const std::string& target, unsigned suffix) {
  size_t separator = target.find_last_of("\\/");
  std::string folder = separator == std::string::npos ? "" : target.substr(0, separator + 1);
  return WideText::FromAnsi(
      folder + TemporaryFileName::For(target.substr(folder.size()), std::to_string(suffix)));
}

}  // namespace

Win32ReplacementFile::Win32ReplacementFile(const std::string& target)
    : targetAnsi_(target), target_(WideText::FromAnsi(target)) {}

Win32ReplacementFile::~Win32ReplacementFile() {
  Discard();
}

int Win32ReplacementFile::Open() {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::wstring name = TemporaryName(targetAnsi_, static_cast<unsigned>(random()));
    file_ = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (file_ != INVALID_HANDLE_VALUE) {
      temporary_ = name;
      return 0;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return static_cast<int>(error);
  }
  return ERROR_FILE_EXISTS;
}

int Win32ReplacementFile::Write(const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(size < kMaxWrite ? size : kMaxWrite);
    if (!WriteFile(file_, data, chunk, &written, nullptr)) return static_cast<int>(GetLastError());
    data += written;
    size -= written;
  }
  return 0;
}

int Win32ReplacementFile::Commit() {
  DWORD error = 0;
  if (!FlushFileBuffers(file_)) error = GetLastError();
  CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  if (error == 0 && !MoveFileExW(temporary_.c_str(), target_.c_str(),
                                 MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error = GetLastError();
  }
  if (error != 0) {
    Discard();
    return static_cast<int>(error);
  }
  temporary_.clear();
  return 0;
}

void Win32ReplacementFile::Discard() {
  if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  file_ = INVALID_HANDLE_VALUE;
  if (!temporary_.empty()) DeleteFileW(temporary_.c_str());
  temporary_.clear();
}

}  // namespace qz

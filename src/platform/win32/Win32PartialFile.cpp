#include "platform/win32/Win32PartialFile.h"

#include <utility>
#include <vector>

#include "platform/win32/WideText.h"

namespace qz {
namespace {

constexpr DWORD kReadPiece = DWORD{1} << 20;
// A validator is one header value; anything longer is not ours.
constexpr DWORD kValidatorLimit = 1024;
// WriteFile takes at most a DWORD at a time.
constexpr size_t kMaxWrite = size_t{1} << 30;

int LastError() {
  return static_cast<int>(GetLastError());
}

int WriteAll(HANDLE file, const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(size < kMaxWrite ? size : kMaxWrite);
    if (!WriteFile(file, data, chunk, &written, nullptr)) return LastError();
    data += written;
    size -= written;
  }
  return 0;
}

std::string ReadValidator(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string text(kValidatorLimit, '\0');
  DWORD got = 0;
  if (!ReadFile(file, text.data(), kValidatorLimit, &got, nullptr)) got = 0;
  CloseHandle(file);
  text.resize(got);
  return text.find_first_of("\r\n") == std::string::npos ? text : std::string();
}

}  // namespace

Win32PartialFile::Win32PartialFile(const std::string& partial, const std::string& target)
    : partial_(WideText::FromAnsi(partial)), target_(WideText::FromAnsi(target)) {}

Win32PartialFile::~Win32PartialFile() {
  if (file_ == INVALID_HANDLE_VALUE) return;
  LARGE_INTEGER size{};
  const bool empty = GetFileSizeEx(file_, &size) && size.QuadPart == 0;
  // Kept for the next attempt: on disk, so a crash cannot leave a gap that later passes
  // as data.
  FlushFileBuffers(file_);
  CloseHandle(file_);
  // An empty part continues nothing; a failed answer (404, 204) leaves no trace.
  if (empty) {
    DeleteFileW(partial_.c_str());
    DeleteFileW(ValidatorPath().c_str());
  }
}

int Win32PartialFile::Open() {
  file_ = CreateFileW(partial_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file_ == INVALID_HANDLE_VALUE) return LastError();
  LARGE_INTEGER end{};
  if (!SetFilePointerEx(file_, LARGE_INTEGER{}, &end, FILE_END)) return LastError();
  kept_ = static_cast<uint64_t>(end.QuadPart);
  validator_ = kept_ > 0 ? ReadValidator(ValidatorPath()) : std::string();
  return 0;
}

int Win32PartialFile::StartOver(const std::string& validator) {
  if (!SetFilePointerEx(file_, LARGE_INTEGER{}, nullptr, FILE_BEGIN) || !SetEndOfFile(file_)) {
    return LastError();
  }
  kept_ = 0;
  validator_ = validator;
  if (validator.empty()) {
    DeleteFileW(ValidatorPath().c_str());
    return 0;
  }
  HANDLE file = CreateFileW(ValidatorPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  int error = WriteAll(file, validator.data(), validator.size());
  if (!CloseHandle(file) && error == 0) error = LastError();
  return error;
}

// Reads from the start and returns the file pointer to the end, where writing continues.
int Win32PartialFile::ReadBack(const std::function<bool(const char*, size_t)>& piece) {
  if (!SetFilePointerEx(file_, LARGE_INTEGER{}, nullptr, FILE_BEGIN)) return LastError();
  std::vector<char> buffer(kReadPiece);
  int error = 0;
  for (uint64_t offset = 0; offset < kept_ && error == 0;) {
    DWORD got = 0;
    if (!ReadFile(file_, buffer.data(), kReadPiece, &got, nullptr)) {
      error = LastError();
    } else if (got == 0) {
      error = ERROR_HANDLE_EOF;
    } else {
      offset += got;
      if (!piece(buffer.data(), got)) break;
    }
  }
  if (!SetFilePointerEx(file_, LARGE_INTEGER{}, nullptr, FILE_END) && error == 0) {
    error = LastError();
  }
  return error;
}

int Win32PartialFile::Write(const char* data, size_t size) {
  return WriteAll(file_, data, size);
}

int Win32PartialFile::Commit() {
  if (!FlushFileBuffers(file_)) return LastError();
  HANDLE file = std::exchange(file_, INVALID_HANDLE_VALUE);
  if (!CloseHandle(file)) return LastError();
  if (!MoveFileExW(partial_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastError();
  }
  return 0;
}

}  // namespace qz

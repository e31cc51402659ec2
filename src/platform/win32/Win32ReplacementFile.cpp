#include "platform/win32/Win32ReplacementFile.h"

#include <random>

#include "platform/win32/WideText.h"

namespace qz {
namespace {

// Keeps the temporary name within MAX_PATH's 255-character component limit.
constexpr size_t kMaxNameStem = 200;
constexpr int kNameAttempts = 100;
// WriteFile takes at most a DWORD at a time.
constexpr size_t kMaxWrite = size_t{1} << 30;

std::wstring TemporaryName(const std::wstring& target, unsigned suffix) {
  size_t separator = target.find_last_of(L"\\/");
  std::wstring folder = separator == std::wstring::npos ? L"" : target.substr(0, separator + 1);
  std::wstring name = target.substr(folder.size()).substr(0, kMaxNameStem);
  return folder + L"." + name + L"." + std::to_wstring(suffix) + L".qztmp";
}

}  // namespace

Win32ReplacementFile::Win32ReplacementFile(const std::string& target)
    : target_(WideText::FromAnsi(target)) {}

Win32ReplacementFile::~Win32ReplacementFile() {
  Discard();
}

DWORD Win32ReplacementFile::Open() {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::wstring name = TemporaryName(target_, static_cast<unsigned>(random()));
    file_ = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                        nullptr);
    if (file_ != INVALID_HANDLE_VALUE) {
      temporary_ = name;
      return 0;
    }
    DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return error;
  }
  return ERROR_FILE_EXISTS;
}

DWORD Win32ReplacementFile::Write(const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    DWORD chunk = static_cast<DWORD>(size < kMaxWrite ? size : kMaxWrite);
    if (!WriteFile(file_, data, chunk, &written, nullptr)) return GetLastError();
    data += written;
    size -= written;
  }
  return 0;
}

DWORD Win32ReplacementFile::Commit() {
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
    return error;
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

#include "libunzip32/MemberFile.h"

#include <windows.h>

#include <algorithm>

#include "libunzip32/NativeFolder.h"
#include "libunzip32/SystemError.h"
#include "libunzip32/win32/WidePath.h"

namespace qz::unzip32 {
namespace {

constexpr uint64_t kEpochDifference = 116444736000000000ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;
constexpr size_t kLargestWrite = 1u << 30;

HANDLE Win(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

FILETIME FileTimeOf(time_t time) {
  uint64_t ticks =
      static_cast<uint64_t>(std::max<time_t>(time, 0)) * kTicksPerSecond + kEpochDifference;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace

std::string MemberFile::TemporaryName(unsigned attempt) {
  return ".qzunzip-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) +
         ".tmp";
}

MemberFile::MemberFile(const NativeFolder& folder) : folder_(folder) {
  for (unsigned attempt = 0; file_ < 0; ++attempt) {
    tempName_ = TemporaryName(attempt);
    HANDLE file =
        CreateFileW(WidePath::From(folder_.Path() + "\\" + tempName_).c_str(), GENERIC_WRITE, 0,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      file_ = reinterpret_cast<intptr_t>(file);
    } else if (GetLastError() != ERROR_FILE_EXISTS || attempt > 1000) {
      throw SystemError::LastFailure("Cannot create a temporary file");
    }
  }
}

void MemberFile::Discard() {
  if (file_ < 0) return;
  CloseHandle(Win(file_));
  file_ = -1;
  DeleteFileW(WidePath::From(folder_.Path() + "\\" + tempName_).c_str());
}

void MemberFile::Write(const char* data, size_t size) {
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(Win(file_), data, static_cast<DWORD>(std::min(size, kLargestWrite)), &written,
                   nullptr)) {
      throw SystemError::LastFailure("Cannot write");
    }
    data += written;
    size -= written;
  }
}

// Windows keeps no Unix permissions: `mode` is not applied, so every member stays
// writable and a later update can replace it.
void MemberFile::Commit(const std::string& name, uint32_t, time_t modified) {
  FILETIME time = FileTimeOf(modified);
  if (!SetFileTime(Win(file_), nullptr, &time, &time)) {
    throw SystemError::LastFailure("Cannot set the attributes of " + name);
  }
  // The data must be on disk before the name is: after a power cut the target holds
  // either its old or its whole new contents, never an empty or torn file.
  if (!FlushFileBuffers(Win(file_))) throw SystemError::LastFailure("Cannot write " + name);
  CloseHandle(Win(file_));
  file_ = -1;
  std::wstring temporary = WidePath::From(folder_.Path() + "\\" + tempName_);
  if (!MoveFileExW(temporary.c_str(), WidePath::From(folder_.Path() + "\\" + name).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DWORD error = GetLastError();
    DeleteFileW(temporary.c_str());
    throw SystemError::Failure("Cannot replace " + name, static_cast<int>(error));
  }
}

}  // namespace qz::unzip32

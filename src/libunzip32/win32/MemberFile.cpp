#include "libunzip32/MemberFile.h"

#include <windows.h>

#include <algorithm>

#include "libunzip32/BusyWait.h"
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

std::string MemberFile::TemporaryName(uint64_t serial, unsigned attempt) {
  return ".qzunzip-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(Candidate(serial, attempt)) + ".tmp";
}

// Windows keeps no Unix permissions: `mode` is not applied, so every member stays
// writable and a later update can replace it.
MemberFile::MemberFile(const NativeFolder& folder, uint32_t, uint64_t serial) : folder_(folder) {
  for (unsigned attempt = 0; file_ < 0; ++attempt) {
    tempName_ = TemporaryName(serial, attempt);
    HANDLE file =
        CreateFileW(WidePath::From(folder_.Path() + "\\" + tempName_).c_str(), GENERIC_WRITE, 0,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      file_ = reinterpret_cast<intptr_t>(file);
    } else if (GetLastError() != ERROR_FILE_EXISTS || attempt >= kAttempts) {
      throw SystemError::LastFailure("Cannot create a temporary file");
    }
  }
}

void MemberFile::Discard() {
  if (file_ >= 0) CloseHandle(Win(file_));
  file_ = -1;
  if (!renamed_) DeleteFileW(WidePath::From(folder_.Path() + "\\" + tempName_).c_str());
  renamed_ = true;
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

// The file stays open for Flush: Windows has no call that flushes many files at once, and
// flushing each one here would hold up the writing of the next.
void MemberFile::Close(time_t modified) {
  FILETIME time = FileTimeOf(modified);
  if (!SetFileTime(Win(file_), nullptr, &time, &time)) {
    throw SystemError::LastFailure("Cannot set the time of a member");
  }
}

void MemberFile::Flush() {
  if (!FlushFileBuffers(Win(file_))) throw SystemError::LastFailure("Cannot write a member");
  CloseHandle(Win(file_));
  file_ = -1;
}

void MemberFile::Rename(const std::string& name) {
  const std::wstring from = WidePath::From(folder_.Path() + "\\" + tempName_);
  const std::wstring to = WidePath::From(folder_.Path() + "\\" + name);
  DWORD failure = ERROR_SUCCESS;
  // A target that a scanner holds for a moment is waited out; other failures end at once.
  BusyWait::Retry([&] {
    failure =
        MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
            ? ERROR_SUCCESS
            : GetLastError();
    return failure != ERROR_SHARING_VIOLATION && failure != ERROR_ACCESS_DENIED;
  });
  if (failure != ERROR_SUCCESS) {
    SetLastError(failure);
    throw SystemError::LastFailure("Cannot replace " + name);
  }
  renamed_ = true;
}

}  // namespace qz::unzip32

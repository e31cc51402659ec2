#include "libunzip32/NativeFolder.h"

#include <windows.h>

#include "libunzip32/SystemError.h"
#include "libunzip32/win32/WidePath.h"

namespace qz::unzip32 {
namespace {

// Between the Windows epoch (1601) and the Unix epoch, in 100-nanosecond units.
constexpr uint64_t kEpochDifference = 116444736000000000ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;

HANDLE Win(intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

bool Missing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The folder handle is kept open without delete sharing, so nobody can rename, delete or
// replace the folder by a junction while the run writes into it.
HANDLE OpenFolderHandle(const std::string& path, DWORD flags) {
  return CreateFileW(WidePath::From(path).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
}

void MakeFolders(const std::string& path) {
  for (size_t at = path.find_first_of("/\\", 1);; at = path.find_first_of("/\\", at + 1)) {
    std::string prefix = path.substr(0, at);
    // Drive and share prefixes cannot be made; only the whole path's failure counts.
    if (!CreateDirectoryW(WidePath::From(prefix).c_str(), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS && at == std::string::npos) {
      throw SystemError::LastFailure("Cannot create folder " + prefix);
    }
    if (at == std::string::npos) return;
  }
}

}  // namespace

std::unique_ptr<NativeFolder> NativeFolder::Open(const std::string& path, bool create) {
  if (create) MakeFolders(path);
  HANDLE handle = OpenFolderHandle(path, 0);
  if (handle == INVALID_HANDLE_VALUE && !create && Missing(GetLastError())) return nullptr;
  if (handle == INVALID_HANDLE_VALUE) throw SystemError::LastFailure("Cannot open folder " + path);
  return std::unique_ptr<NativeFolder>(new NativeFolder(path, reinterpret_cast<intptr_t>(handle)));
}

NativeFolder::~NativeFolder() {
  CloseHandle(Win(handle_));
}

std::unique_ptr<NativeFolder> NativeFolder::Child(const std::string& name) const {
  std::string path = path_ + "\\" + name;
  HANDLE handle = OpenFolderHandle(path, FILE_FLAG_OPEN_REPARSE_POINT);
  if (handle == INVALID_HANDLE_VALUE) throw SystemError::LastFailure("Cannot open folder " + name);
  BY_HANDLE_FILE_INFORMATION info;
  DWORD attributes = GetFileInformationByHandle(handle, &info) ? info.dwFileAttributes : 0;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    CloseHandle(handle);
    throw SystemError("Folder " + name + " is a link, not followed");
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    CloseHandle(handle);
    throw SystemError(name + " exists and is not a folder");
  }
  return std::unique_ptr<NativeFolder>(new NativeFolder(path, reinterpret_cast<intptr_t>(handle)));
}

void NativeFolder::MakeChild(const std::string& name) {
  if (!CreateDirectoryW(WidePath::From(path_ + "\\" + name).c_str(), nullptr) &&
      GetLastError() != ERROR_ALREADY_EXISTS) {
    throw SystemError::LastFailure("Cannot create folder " + name);
  }
}

std::vector<std::string> NativeFolder::Names() const {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(WidePath::From(path_ + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return names;
    throw SystemError::LastFailure("Cannot read folder " + path_);
  }
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(WidePath::Utf8(name));
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

std::optional<NativeFolder::Entry> NativeFolder::Inspect(const std::string& name) const {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WidePath::From(path_ + "\\" + name).c_str(), GetFileExInfoStandard,
                            &data)) {
    return std::nullopt;
  }
  uint64_t ticks = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                   data.ftLastWriteTime.dwLowDateTime;
  Entry entry;
  entry.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  entry.regular = !entry.folder &&
                  !(data.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE));
  entry.modified = ticks > kEpochDifference
                       ? static_cast<time_t>((ticks - kEpochDifference) / kTicksPerSecond)
                       : 0;
  return entry;
}

bool NativeFolder::IsHeldOpen(const std::string& name) const {
  HANDLE file = CreateFileW(WidePath::From(path_ + "\\" + name).c_str(), DELETE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

// Each member file is flushed on its own (MemberFile::Flush), and every rename is
// made with MOVEFILE_WRITE_THROUGH, which returns only once the change is on disk; Windows
// has no separate flush of a folder's entries.
void NativeFolder::FlushAll() const {}

}  // namespace qz::unzip32

#include "platform/win32/Win32FileSystem.h"

#include <windows.h>
// <windows.h> renames these to their ANSI forms, which would rename the members below.
#undef CopyFile
#undef DeleteFile
#undef ReplaceFile

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Error.h"
#include "platform/TemporaryFileName.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32ProgramPath.h"
#include "platform/win32/Win32ReplacementFile.h"

namespace qz {
namespace {

constexpr DWORD kCopyBufferSize = 1 << 16;
constexpr DWORD kNotAFile =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (valid()) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (valid()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_;
};

std::wstring FolderOf(const std::wstring& path) {
  size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return L".";
  return path.substr(0, separator + 1);
}

DWORD Attributes(const std::wstring& path) {
  return GetFileAttributesW(path.c_str());
}

bool IsFolder(const std::wstring& path) {
  DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Error Win32Error(DWORD error, int32_t missingNumber) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
      return Error::Standard(missingNumber);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
      return Error::Standard(Error::kPathNotFound);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return Error::Standard(Error::kFileExists);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return Error::Standard(Error::kPermissionDenied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return Error::Standard(Error::kDiskFull);
    default:
      return Error::Standard(Error::kPathFileAccess);
  }
}

// A failure on a file: a missing file is 53 in an existing folder and 76 otherwise.
Error FileError(DWORD error, const std::wstring& path) {
  return Win32Error(error, IsFolder(FolderOf(path)) ? Error::kFileNotFound : Error::kPathNotFound);
}

Error FolderError(DWORD error) {
  return Win32Error(error, Error::kPathNotFound);
}

// Throws the error that deleting or overwriting the existing file `path` meets: 75 when it
// is read-only, 70 while another process has it open without delete sharing. The probe
// asks for delete access, which such a process denies. Anything but an existing file passes.
void CheckReplaceable(const std::wstring& path) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return;
  if (attributes & FILE_ATTRIBUTE_READONLY) throw Error::Standard(Error::kPathFileAccess);
  Handle probe(CreateFileW(path.c_str(), DELETE, kShareAll, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!probe.valid() && GetLastError() == ERROR_SHARING_VIOLATION) {
    throw Error::Standard(Error::kPermissionDenied);
  }
}

void DeleteWide(const std::wstring& path) {
  DWORD attributes = Attributes(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) throw FileError(GetLastError(), path);
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) throw Error::Standard(Error::kFileNotFound);
  CheckReplaceable(path);
  if (!DeleteFileW(path.c_str())) throw FileError(GetLastError(), path);
}

// A handle for reading the whole file; folders fail with 75, as opening them does.
HANDLE OpenForReading(const std::wstring& path) {
  HANDLE in = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in != INVALID_HANDLE_VALUE) return in;
  DWORD error = GetLastError();
  if (IsFolder(path)) throw Error::Standard(Error::kPathFileAccess);
  throw FileError(error, path);
}

// Calls `consume(data, size)` for each piece of the file until its end.
template <typename Consume>
void ReadAll(HANDLE in, Consume&& consume) {
  auto buffer = std::make_unique<char[]>(kCopyBufferSize);
  while (true) {
    DWORD got = 0;
    if (!ReadFile(in, buffer.get(), kCopyBufferSize, &got, nullptr)) {
      throw Win32Error(GetLastError(), Error::kFileNotFound);
    }
    if (got == 0) return;
    consume(buffer.get(), got);
  }
}

// A change of case only. Some file systems take a move onto the same name under another
// case as done without changing anything, so the name passes through a temporary one.
void RenameCase(const std::wstring& source, const std::wstring& target) {
  std::wstring step = source + L".qzcase";
  if (!MoveFileExW(source.c_str(), step.c_str(), MOVEFILE_WRITE_THROUGH)) {
    throw FolderError(GetLastError());
  }
  if (!MoveFileExW(step.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    DWORD error = GetLastError();
    MoveFileExW(step.c_str(), source.c_str(), MOVEFILE_WRITE_THROUGH);
    throw FolderError(error);
  }
}

std::wstring WithSeparator(std::wstring folder) {
  if (!folder.empty() && folder.back() != L'\\' && folder.back() != L'/') folder += L'\\';
  return folder;
}

// Whether the entry `name` (no folder) with `attributes` counts as a file. The updater's
// own temporaries always do: their names start with a dot, which Wine and shares served
// by Samba ("hide dot files") report as hidden, and the cleanup must still find them.
bool CountsAsFile(DWORD attributes, const std::wstring& name) {
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  return (attributes & kNotAFile) == 0 || TemporaryFileName::IsOurs(WideText::ToAnsi(name));
}

// Names of the files in `base` (ending in a separator) that FileExists counts, sorted.
std::vector<std::wstring> FilesDirectlyIn(const std::wstring& base) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileExW((base + L"*").c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND && IsFolder(base)) return {};
    throw FolderError(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  }
  std::vector<std::wstring> files;
  do {
    if (CountsAsFile(entry.dwFileAttributes, entry.cFileName)) files.emplace_back(entry.cFileName);
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  std::sort(files.begin(), files.end());
  return files;
}

// True while process `pid` runs; a process that cannot be opened for lack of rights runs.
bool ProcessRuns(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) return GetLastError() != ERROR_INVALID_PARAMETER;
  const bool runs = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return runs;
}

// Deletes the private copies in the user's temporary `folder` (ending in a separator) whose
// process has ended: a run ended during the install could not delete its own, and each is
// as large as the archive. A copy still open elsewhere cannot be deleted and stays.
void DeleteOrphanedPrivateCopies(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileExW((folder + L"qzupdate-*").c_str(), FindExInfoBasic, &entry,
                                   FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const unsigned long owner =
        TemporaryFileName::PrivateCopyOwner(WideText::ToAnsi(entry.cFileName));
    if (owner != 0 && (entry.dwFileAttributes & kNotAFile) == 0 && !ProcessRuns(owner)) {
      DeleteFileW((folder + entry.cFileName).c_str());
    }
  } while (FindNextFileW(search, &entry));
  FindClose(search);
}

// Creates a new private copy "qzupdate-<pid>-<n>.tmp" in `folder` and sets `name` to it.
HANDLE CreatePrivateCopy(const std::wstring& folder, std::wstring& name) {
  const std::wstring stem =
      folder + WideText::FromAnsi(TemporaryFileName::PrivateCopyStem(GetCurrentProcessId()));
  for (unsigned attempt = 0; attempt < 1000; ++attempt) {
    name = stem + std::to_wstring(attempt) + L".tmp";
    HANDLE file = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return file;
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  throw FolderError(GetLastError());
}

void Replace(Win32ReplacementFile& file, const std::string& contents) {
  if (int error = file.Open()) throw FolderError(error);
  if (int error = file.Write(contents.data(), contents.size())) throw FolderError(error);
  if (int error = file.Commit()) throw FolderError(error);
}

}  // namespace

bool Win32FileSystem::FileExists(const std::string& path) {
  const std::wstring wide = WideText::FromAnsi(path);
  return CountsAsFile(Attributes(wide), wide.substr(wide.find_last_of(L"\\/") + 1));
}

void Win32FileSystem::CreateFolder(const std::string& path) {
  std::wstring folder = WideText::FromAnsi(path);
  if (CreateDirectoryW(folder.c_str(), nullptr)) return;
  DWORD error = GetLastError();
  if (error == ERROR_ALREADY_EXISTS && IsFolder(folder)) return;
  throw error == ERROR_ALREADY_EXISTS ? Error::Standard(Error::kPathFileAccess)
                                      : FolderError(error);
}

void Win32FileSystem::CopyFile(const std::string& from, const std::string& to) {
  CopyFileChecked(from, to, nullptr, nullptr);
}

void Win32FileSystem::CopyFileChecked(const std::string& from, const std::string& to,
                                      const std::function<void(const char*, size_t)>& inspect,
                                      const std::function<void()>& approve) {
  Handle in(OpenForReading(WideText::FromAnsi(from)));
  CheckReplaceable(WideText::FromAnsi(to));
  Win32ReplacementFile out(to);
  if (int error = out.Open()) throw FolderError(error);
  ReadAll(in.get(), [&](const char* data, DWORD size) {
    if (inspect) inspect(data, size);
    if (int error = out.Write(data, size)) throw FolderError(error);
  });
  if (approve) approve();
  if (int error = out.Commit()) throw FolderError(error);
}

std::string Win32FileSystem::CopyToPrivateFile(
    const std::string& from, const std::function<void(const char*, size_t)>& inspect) {
  Handle in(OpenForReading(WideText::FromAnsi(from)));
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) throw FolderError(GetLastError());
  DeleteOrphanedPrivateCopies(folder);
  std::wstring name;
  // The user's temporary folder is private to the user; the file shares reading only while
  // it is written.
  Handle out(CreatePrivateCopy(folder, name));
  try {
    ReadAll(in.get(), [&](const char* data, DWORD size) {
      if (inspect) inspect(data, size);
      DWORD written = 0;
      if (!WriteFile(out.get(), data, size, &written, nullptr) || written != size) {
        throw FolderError(GetLastError());
      }
    });
  } catch (...) {
    out.Close();
    DeleteFileW(name.c_str());
    throw;
  }
  return WideText::ToAnsi(name);
}

void Win32FileSystem::RenameFile(const std::string& from, const std::string& to) {
  std::wstring source = WideText::FromAnsi(from);
  if (Attributes(source) == INVALID_FILE_ATTRIBUTES) throw FileError(GetLastError(), source);
  CheckReplaceable(source);
  std::wstring target = WideText::FromAnsi(to);
  // Without MOVEFILE_REPLACE_EXISTING the move never replaces a file; a target that is the
  // source under another case is the one rename it lets through.
  if (source != target &&
      CompareStringOrdinal(source.data(), static_cast<int>(source.size()), target.data(),
                           static_cast<int>(target.size()), TRUE) == CSTR_EQUAL) {
    RenameCase(source, target);
    return;
  }
  if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    throw FolderError(GetLastError());
  }
}

void Win32FileSystem::ReplaceFile(const std::string& from, const std::string& to) {
  std::wstring source = WideText::FromAnsi(from);
  if (Attributes(source) == INVALID_FILE_ATTRIBUTES) throw FileError(GetLastError(), source);
  std::wstring target = WideText::FromAnsi(to);
  CheckReplaceable(target);
  if (!MoveFileExW(source.c_str(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    throw FolderError(GetLastError());
  }
}

void Win32FileSystem::DeleteFile(const std::string& path) {
  DeleteWide(WideText::FromAnsi(path));
}

void Win32FileSystem::DeleteFilesIn(const std::string& folder) {
  std::wstring base = WithSeparator(WideText::FromAnsi(folder));
  std::vector<std::wstring> files = FilesDirectlyIn(base);
  std::optional<Error> first;
  for (const auto& name : files) {
    try {
      DeleteWide(base + name);
    } catch (const Error& error) {
      if (!first) first = error;
    }
  }
  if (first) throw *first;
}

std::vector<std::string> Win32FileSystem::FileNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  const std::wstring base = WithSeparator(WideText::FromAnsi(folder));
  for (const auto& name : FilesDirectlyIn(base)) {
    const DWORD attributes = GetFileAttributesW((base + name).c_str());
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    names.push_back(WideText::ToAnsi(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string Win32FileSystem::ReadTextFile(const std::string& path, size_t maxBytes) {
  Handle in(OpenForReading(WideText::FromAnsi(path)));
  LARGE_INTEGER size;
  if (!GetFileSizeEx(in.get(), &size)) throw Win32Error(GetLastError(), Error::kFileNotFound);
  if (static_cast<uint64_t>(size.QuadPart) > maxBytes) throw Error::Standard(Error::kOutOfMemory);
  std::string text;
  ReadAll(in.get(), [&](const char* data, DWORD got) {
    if (got > maxBytes - text.size()) throw Error::Standard(Error::kOutOfMemory);
    text.append(data, got);
  });
  return text;
}

void Win32FileSystem::ReadInPieces(const std::string& path,
                                   const std::function<void(const char*, size_t)>& consume) {
  Handle in(OpenForReading(WideText::FromAnsi(path)));
  ReadAll(in.get(), [&](const char* data, DWORD size) { consume(data, size); });
}

uint64_t Win32FileSystem::FileSize(const std::string& path) {
  std::wstring file = WideText::FromAnsi(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) {
    throw FileError(GetLastError(), file);
  }
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void Win32FileSystem::AppendToFile(const std::string& path, const std::string& text) {
  std::wstring target = WideText::FromAnsi(path);
  Handle out(CreateFileW(target.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!out.valid()) throw FileError(GetLastError(), target);
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    DWORD written = 0;
    DWORD piece = static_cast<DWORD>(std::min<size_t>(left, kCopyBufferSize));
    if (!WriteFile(out.get(), data, piece, &written, nullptr)) {
      throw Win32Error(GetLastError(), Error::kPathNotFound);
    }
    data += written;
    left -= written;
  }
}

int64_t Win32FileSystem::SecondsSinceChanged(const std::string& path) {
  std::wstring resolved = WideText::FromAnsi(path);
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(resolved.c_str(), GetFileExInfoStandard, &data)) {
    throw FileError(GetLastError(), resolved);
  }
  auto ticks = [](const FILETIME& time) {
    return static_cast<int64_t>(static_cast<uint64_t>(time.dwHighDateTime) << 32 |
                                time.dwLowDateTime);
  };
  // The extraction library sets a member's last write time to its date before the file
  // takes its name; the creation time is when the temporary file was made.
  const int64_t changed = std::max(ticks(data.ftCreationTime), ticks(data.ftLastWriteTime));
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  constexpr int64_t kTicksPerSecond = 10'000'000;
  return (ticks(now) - changed) / kTicksPerSecond;
}

uint64_t Win32FileSystem::FreeSpace(const std::string& folder) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExW(WideText::FromAnsi(folder).c_str(), &available, nullptr, nullptr)) {
    throw FolderError(GetLastError());
  }
  return available.QuadPart;
}

void Win32FileSystem::WriteTextFile(const std::string& path, const std::string& text) {
  CheckReplaceable(WideText::FromAnsi(path));
  Win32ReplacementFile file(path);
  Replace(file, text);
}

std::string Win32FileSystem::ExecutableFolder() {
  const std::wstring program = Win32ProgramPath::Full();
  if (program.empty()) throw FolderError(GetLastError());
  return WideText::ToAnsi(Win32ProgramPath::FolderOf(program));
}

}  // namespace qz

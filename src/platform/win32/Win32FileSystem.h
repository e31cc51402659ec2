#pragma once

#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace qz {

// The file services over the Win32 API. Names are 8-bit text in the ANSI code page; "\"
// and "/" both separate folders, and names match without regard to case, natively.
// Win32 errors map to classic numbers: ERROR_FILE_NOT_FOUND is 53 when the folder exists
// and 76 when it does not; ERROR_PATH_NOT_FOUND, ERROR_INVALID_NAME and ERROR_BAD_NETPATH
// 76; ERROR_FILE_EXISTS and ERROR_ALREADY_EXISTS 58; ERROR_SHARING_VIOLATION,
// ERROR_LOCK_VIOLATION and ERROR_ACCESS_DENIED 70; ERROR_DISK_FULL and
// ERROR_HANDLE_DISK_FULL 61; anything else 75. A file "held open" is one that another
// process has open without delete sharing.
class Win32FileSystem : public FileSystem {
 public:
  // Ordinary files only: folders, hidden and system files do not count, except that the
  // updater's own temporaries (TemporaryFileName) always do, hidden or not.
  bool FileExists(const std::string& path) override;
  // Inherits the permissions of its parent. An existing file of that name fails with 75.
  void CreateFolder(const std::string& path) override;
  // The copy is an ordinary writable file. A read-only target fails with 75, a held one
  // with 70, as if it were being deleted.
  void CopyFile(const std::string& from, const std::string& to) override;
  void CopyFileChecked(const std::string& from, const std::string& to,
                       const std::function<void(const char* data, size_t size)>& inspect,
                       const std::function<void()>& approve) override;
  // A file made by GetTempFileName in the user's temporary folder (GetTempPath), whose
  // permissions the user's profile keeps private.
  std::string CopyToPrivateFile(
      const std::string& from,
      const std::function<void(const char* data, size_t size)>& inspect) override;
  // A change of case only is allowed onto the source's own name. Folders can be renamed too.
  void RenameFile(const std::string& from, const std::string& to) override;
  // MoveFileEx with replace-existing and write-through.
  void ReplaceFile(const std::string& from, const std::string& to) override;
  // A read-only file fails with 75, a held one with 70; a folder is not a file: 53.
  void DeleteFile(const std::string& path) override;
  // Deletes in sorted order; only the files that FileExists counts are deleted.
  void DeleteFilesIn(const std::string& folder) override;
  // The files that FileExists counts, sorted by their bytes in the ANSI code page.
  std::vector<std::string> FileNamesIn(const std::string& folder) override;
  std::string ReadTextFile(const std::string& path, size_t maxBytes) override;
  void ReadInPieces(const std::string& path,
                    const std::function<void(const char* data, size_t size)>& consume) override;
  // Writes a temporary file and moves it over the target, like CopyFile; the same
  // read-only and held-open failures apply.
  void WriteTextFile(const std::string& path, const std::string& text) override;
  // FILE_APPEND_DATA, shared for reading and writing, so two processes can append at once.
  void AppendToFile(const std::string& path, const std::string& text) override;
  uint64_t FileSize(const std::string& path) override;
  // The later of the creation and the last write time.
  int64_t SecondsSinceChanged(const std::string& path) override;
  uint64_t FreeSpace(const std::string& folder) override;
  // From GetModuleFileName, with "\" separators; "C:\" when the executable lies in a root.
  std::string ExecutableFolder() override;
};

}  // namespace qz

#pragma once

#include <string>

#include "platform/FileSystem.h"

namespace qz {

// The file services on a POSIX file system. Every name resolves through PathResolver.
// Errno values map to classic numbers: ENOENT is 53 when the folder exists and 76 when
// it does not, ENOTDIR 76, EEXIST 58, EACCES and EPERM 70, ENOSPC and EDQUOT 61 "Disk
// full", anything else 75. A file "held open" is one that a process holds a POSIX record
// lock, an open-file-description lock or a flock lock on.
class PosixFileSystem : public FileSystem {
 public:
  // Ordinary files only (a symbolic link counts when it leads to one).
  bool FileExists(const std::string& path) override;
  // Mode 0755 before the umask. An existing file of that name fails with 75.
  void CreateFolder(const std::string& path) override;
  // The copy keeps the source's permission bits plus the owner's write bit, so whatever
  // the updater copied it can later replace or delete. A read-only target fails with 75, a
  // held one with 70, as if it were being deleted.
  void CopyFile(const std::string& from, const std::string& to) override;
  void CopyFileChecked(const std::string& from, const std::string& to,
                       const std::function<void(const char* data, size_t size)>& inspect,
                       const std::function<void()>& approve) override;
  // A file of mode 0600 in $TMPDIR, else /tmp (a folder with the sticky bit).
  std::string CopyToPrivateFile(
      const std::string& from,
      const std::function<void(const char* data, size_t size)>& inspect) override;
  // Only a change of case is allowed onto the source's own name. Folders can be renamed too.
  void RenameFile(const std::string& from, const std::string& to) override;
  // rename(2) onto the resolved target, then the folder is flushed.
  void ReplaceFile(const std::string& from, const std::string& to) override;
  // A folder or a dangling link is not a file: 53.
  void DeleteFile(const std::string& path) override;
  // Deletes in sorted order; only ordinary files (and links to them) count.
  void DeleteFilesIn(const std::string& folder) override;
  // Links to ordinary files count, as in DeleteFilesIn.
  std::vector<std::string> FileNamesIn(const std::string& folder) override;
  std::string ReadTextFile(const std::string& path, size_t maxBytes) override;
  void ReadInPieces(const std::string& path,
                    const std::function<void(const char* data, size_t size)>& consume) override;
  // Writes a temporary file and renames it over the target, like CopyFile; the same
  // read-only and held-open failures apply.
  void WriteTextFile(const std::string& path, const std::string& text) override;
  // O_APPEND, so the lines of two processes never overwrite each other.
  void AppendToFile(const std::string& path, const std::string& text) override;
  bool RollOver(const std::string& path, const std::string& older, uint64_t limit) override;
  uint64_t FileSize(const std::string& path) override;
  // The later of the modification and the status change time.
  int64_t SecondsSinceChanged(const std::string& path) override;
  uint64_t FreeSpace(const std::string& folder) override;
  // From /proc/self/exe; "/" when the executable lies in the root.
  std::string ExecutableFolder() override;
};

}  // namespace qz

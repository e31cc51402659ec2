#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qz {

// File services of the updater. Every name the program supplies resolves
// case-insensitively against what already exists ("Vq.Zip" finds "VQ.Zip"); a new file
// takes the name as written. Failures throw qz::Error with a classic run-time number
// (7 out of memory, 53 file not found, 58 file exists, 70 permission denied, 75 access error,
// 76 path not found).
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // True when `path` names an ordinary file (not a folder). Never throws.
  virtual bool FileExists(const std::string& path) = 0;

  // Creates one folder, without write access for anyone but its owner where the platform
  // has such permissions; an existing folder is no error.
  virtual void CreateFolder(const std::string& path) = 0;

  // Copies the whole file, replacing `to`. The copy goes to a temporary file beside
  // `to`, is flushed and renamed over it, so `to` is never left half-written.
  virtual void CopyFile(const std::string& from, const std::string& to) = 0;

  // Copies like CopyFile, reading `from` once: each piece passes `inspect` on its way, and
  // `approve` runs before `to` is replaced. Whatever either throws ends the copy with `to`
  // as it was, and reaches the caller.
  virtual void CopyFileChecked(const std::string& from, const std::string& to,
                               const std::function<void(const char* data, size_t size)>& inspect,
                               const std::function<void()>& approve) = 0;

  // Copies `from` into a new file of this user's temporary folder that no other user can
  // change, replace or delete, passing each piece read to `inspect`; returns the copy's
  // name, which the caller deletes (DeleteFile). What `inspect` throws ends the copy,
  // removes it and reaches the caller. Copies left there by runs that ended without
  // deleting theirs (ended during the install) are deleted first; a running one's stay.
  virtual std::string CopyToPrivateFile(
      const std::string& from,
      const std::function<void(const char* data, size_t size)>& inspect) = 0;

  // Gives `from` the name `to`; fails with 58 when `to` already exists. The same read-only
  // and held-open failures as DeleteFile apply to `from`, as renaming a file that another
  // program holds fails on Windows (a running program or a loaded library may be renamed).
  virtual void RenameFile(const std::string& from, const std::string& to) = 0;

  // Gives `from` the name `to` in one step, replacing an existing `to` (which keeps its
  // spelling), and makes the change durable before returning. The same read-only and
  // held-open failures as DeleteFile apply to an existing `to`.
  virtual void ReplaceFile(const std::string& from, const std::string& to) = 0;

  // Deletes one file. A file without write permission (read-only) fails with 75, one
  // that another process holds a lock on fails with 70.
  virtual void DeleteFile(const std::string& path) = 0;

  // Deletes every file directly in `folder`; subfolders and their contents stay. Goes on
  // past a file that cannot be deleted and then throws the first error. No file at all
  // is no error.
  virtual void DeleteFilesIn(const std::string& folder) = 0;

  // Names of the ordinary files directly in `folder`, sorted, without the folder. A link
  // (or other reparse point) is not one, whatever it points to.
  virtual std::vector<std::string> FileNamesIn(const std::string& folder) = 0;

  // The whole file as 8-bit bytes; a file of more than `maxBytes` fails with 7 and is
  // not read at all.
  virtual std::string ReadTextFile(const std::string& path, size_t maxBytes) = 0;

  // Hands the whole file to `consume` in pieces, in order, so a large file is never held
  // in memory at once. Fails like ReadTextFile. The default reads through the standard
  // library with the name as given.
  virtual void ReadInPieces(const std::string& path,
                            const std::function<void(const char* data, size_t size)>& consume);

  // Replaces the file with `text` (lines already ended by CR LF).
  virtual void WriteTextFile(const std::string& path, const std::string& text) = 0;

  // Adds `text` at the end of the file, creating it when missing, and closes it before
  // returning, so what was added survives an immediate end of the process. Other
  // processes may append to the same file at the same time.
  virtual void AppendToFile(const std::string& path, const std::string& text) = 0;

  // Gives `path` the name `older` (replacing it) when `path` holds at least `limit` bytes;
  // true when it did. The size is checked and the file renamed under the file's own
  // exclusive lock, so when several processes find it full at once only one renames it and
  // none renames the file that has newly taken its name. False, too, when it is missing or
  // another process is renaming it. The default, for file systems without such locks,
  // checks and renames without one.
  virtual bool RollOver(const std::string& path, const std::string& older, uint64_t limit);

  // The size of the file in bytes.
  virtual uint64_t FileSize(const std::string& path) = 0;

  // Seconds by the system's clock since the file was last created, written or had its
  // times changed, whichever is latest (a time set back to a member's date does not make
  // the file look old); negative when that lies in the future.
  virtual int64_t SecondsSinceChanged(const std::string& path) = 0;

  // The bytes that this user may still write on the disk that holds `folder`.
  virtual uint64_t FreeSpace(const std::string& folder) = 0;

  // The folder that holds the running executable, without a trailing separator.
  virtual std::string ExecutableFolder() = 0;
};

}  // namespace qz

#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace qz::unzip32 {

// One open folder of an extraction, through the platform's own calls (POSIX descriptors
// or Win32 handles). A child is opened relative to its parent and never through a link
// or junction, and stays open while it is used, so nothing can be redirected outside the
// extraction folder. Names and paths are UTF-8. Failures throw
// SystemError.
class NativeFolder {
 public:
  struct Entry {
    bool regular = false;
    bool folder = false;
    time_t modified = 0;
  };

  // Opens the folder at `path`; with `create`, it and its missing parents are made first.
  // Without `create`, a missing folder gives null.
  static std::unique_ptr<NativeFolder> Open(const std::string& path, bool create);
  ~NativeFolder();
  NativeFolder(const NativeFolder&) = delete;
  NativeFolder& operator=(const NativeFolder&) = delete;

  // Opens the existing subfolder `name`. A link there, or anything that is not a folder,
  // is an error.
  std::unique_ptr<NativeFolder> Child(const std::string& name) const;
  // Makes the subfolder `name` (an existing one is no error); FlushAll makes it durable.
  void MakeChild(const std::string& name);
  // The names of every entry, without "." and "..".
  std::vector<std::string> Names() const;
  // What the folder holds under the exact `name`, links not followed; nothing if absent.
  std::optional<Entry> Inspect(const std::string& name) const;
  // True when another process holds the file open as a running program does (a lock on
  // POSIX systems, no delete sharing on Windows).
  bool IsHeldOpen(const std::string& name) const;
  // Makes everything written to the folder's file system so far durable, all at once: the
  // data of closed files, new folders and renames.
  void FlushAll() const;

  // For the member files written here: the folder's path and native handle.
  const std::string& Path() const { return path_; }
  intptr_t Handle() const { return handle_; }

 private:
  NativeFolder(std::string path, intptr_t handle) : path_(std::move(path)), handle_(handle) {}

  std::string path_;
  intptr_t handle_;
};

}  // namespace qz::unzip32

#pragma once

#include <ctime>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace qz::unzip32 {

// The extraction folder and the folders made below it. Every folder is reached from the
// extraction folder by opening one part at a time without following links, so nothing
// can be written outside it. Names match existing entries without regard to case, as
// the updater's files do ("vq.exe" finds "Vq.exe"); new entries take the name as given.
// A planning folder changes nothing on disk: folders that a run would make are only
// noted, so a test pass meets every obstacle that writing would meet.
// Failures throw SystemError.
class TargetFolder {
 public:
  struct Entry {
    bool regular = false;
    time_t modified = 0;
  };

  // Opens `path`, creating it and its parents when missing; with `planOnly` a missing
  // folder is only noted.
  TargetFolder(const std::string& path, bool planOnly);
  ~TargetFolder();
  TargetFolder(const TargetFolder&) = delete;
  TargetFolder& operator=(const TargetFolder&) = delete;

  // Makes `folders` the current folder (the extraction folder for none), creating missing
  // parts. A part that exists as a file or a link is an error. Flushes the folder it
  // leaves when files were written there.
  void Enter(const std::vector<std::string>& folders);
  // The current folder's descriptor; -1 for a folder that a plan only noted.
  int CurrentFd() const { return currentFd_; }

  // The name under which `name` exists in the current folder, exact case first.
  std::optional<std::string> ExistingName(const std::string& name);
  // What the current folder holds under the exact `name`, or nothing.
  std::optional<Entry> Inspect(const std::string& name) const;
  // True when `name` in the current folder is a folder, on disk or made by this run.
  bool IsFolder(const std::string& name);
  // True when another process holds a lock on the file, as a running program would.
  bool IsHeldOpen(const std::string& name) const;
  // Records that the file `name` now exists (or, in a plan, would) in the current folder.
  void Added(const std::string& name);
  // Records that the current folder's entries changed and need flushing.
  void Changed() { changed_ = true; }
  // Flushes the current folder's entries to disk when they changed.
  void Flush();

 private:
  struct Listing {
    std::set<std::string> exact;
    std::map<std::string, std::string> folded;
    std::set<std::string> madeFolders;  // folded names, made or noted by this run
    std::set<std::string> madeFiles;    // folded names, written or planned by this run
  };

  int OpenPart(int parentFd, const std::string& key, const std::string& part);
  int OpenExisting(int parentFd, const std::string& name);
  Listing& ListingOf(int fd, const std::string& key);
  void CloseCurrent();

  std::string root_;
  bool planOnly_;
  int rootFd_ = -1;
  int currentFd_ = -1;
  bool changed_ = false;
  std::string currentKey_;
  std::map<std::string, Listing> listings_;
};

}  // namespace qz::unzip32

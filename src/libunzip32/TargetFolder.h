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
// Failures throw SystemError.
class TargetFolder {
 public:
  struct Entry {
    bool regular = false;
    time_t modified = 0;
  };

  // Opens `path`, creating it and its parents when missing.
  explicit TargetFolder(const std::string& path);
  ~TargetFolder();
  TargetFolder(const TargetFolder&) = delete;
  TargetFolder& operator=(const TargetFolder&) = delete;

  // Makes `folders` the current folder (the extraction folder for none), creating missing
  // parts. A part that exists as a file or a link is an error.
  void Enter(const std::vector<std::string>& folders);
  int CurrentFd() const { return currentFd_; }

  // The name under which `name` exists in the current folder, exact case first.
  std::optional<std::string> ExistingName(const std::string& name);
  // What the current folder holds under the exact `name`, or nothing.
  std::optional<Entry> Inspect(const std::string& name) const;
  // True when another process holds a lock on the file, as a running program would.
  bool IsHeldOpen(const std::string& name) const;
  // Records that `name` now exists in the current folder.
  void Added(const std::string& name);

 private:
  struct Listing {
    std::set<std::string> exact;
    std::map<std::string, std::string> folded;
  };

  int OpenPart(int parentFd, const std::string& key, const std::string& part);
  Listing& ListingOf(int fd, const std::string& key);
  void CloseCurrent();

  std::string root_;
  int rootFd_ = -1;
  int currentFd_ = -1;
  std::string currentKey_;
  std::map<std::string, Listing> listings_;
};

}  // namespace qz::unzip32

#pragma once

#include <future>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "libunzip32/NativeFolder.h"

namespace qz::unzip32 {

class MemberFile;

// The extraction folder and the folders made below it. Every folder is reached from the
// extraction folder by opening one part at a time without following links, so nothing
// can be written outside it. Names match existing entries without regard to case, as
// the updater's files do ("vq.exe" finds "Vq.exe"); new entries take the name as given.
// A planning folder changes nothing on disk: folders that a run would make are only
// noted, so a test pass meets every obstacle that writing would meet.
// Failures throw SystemError.
class TargetFolder {
 public:
  // Opens `path`, creating it and its parents when missing; with `planOnly` a missing
  // folder is only noted.
  TargetFolder(const std::string& path, bool planOnly);
  ~TargetFolder();
  TargetFolder(const TargetFolder&) = delete;
  TargetFolder& operator=(const TargetFolder&) = delete;

  // Makes `folders` the current folder (the extraction folder for none), creating missing
  // parts. A part that exists as a file or a link is an error. The folder it leaves stays
  // open, for the files that wait there for their names, until CloseOthers.
  void Enter(const std::vector<std::string>& folders);
  // How many folders below the extraction folder are open.
  size_t OpenFolders() const { return open_.size(); }
  // Closes every open folder but the current one.
  void CloseOthers();
  // True when `folders` name the current folder.
  bool IsCurrent(const std::vector<std::string>& folders) const;
  // The current folder; null for a folder that a plan only noted.
  NativeFolder* Current() const { return current_; }

  // The name under which `name` exists in the current folder, exact case first.
  std::optional<std::string> ExistingName(const std::string& name);
  // What the current folder holds under the exact `name`, or nothing.
  std::optional<NativeFolder::Entry> Inspect(const std::string& name) const;
  // True when `name` in the current folder is a folder, on disk or made by this run.
  bool IsFolder(const std::string& name);
  // True when another process holds a lock on the file, as a running program would.
  bool IsHeldOpen(const std::string& name) const;
  // Records that the file `name` now exists (or, in a plan, would) in the current folder.
  void Added(const std::string& name);
  // Records that something was written and needs flushing.
  void Changed() { changed_ = true; }
  // Makes everything written below the extraction folder since the last flush durable (file
  // data, new folders, renames), when anything was.
  void Flush();
  // On a thread of its own (here, when no thread can be started): flushes `files`, then
  // everything written below the extraction folder. The future gives the outcome; the
  // folder and the files must outlive it, and the files must not be used until it is ready.
  std::future<void> FlushInBackground(std::vector<MemberFile*> files) const;

 private:
  struct Listing {
    std::set<std::string> exact;
    std::map<std::string, std::string> folded;
    std::set<std::string> madeFolders;  // folded names, made or noted by this run
    std::set<std::string> madeFiles;    // folded names, written or planned by this run
  };

  static std::string KeyOf(const std::vector<std::string>& folders);
  std::unique_ptr<NativeFolder> OpenPart(NativeFolder* parent, const std::string& key,
                                         const std::string& part);
  Listing& ListingOf(const NativeFolder* folder, const std::string& key);

  bool planOnly_;
  std::unique_ptr<NativeFolder> root_;
  std::map<std::string, std::unique_ptr<NativeFolder>> open_;  // below the root, by key
  NativeFolder* current_ = nullptr;
  bool changed_ = false;
  std::string currentKey_;
  std::map<std::string, Listing> listings_;
};

}  // namespace qz::unzip32

#pragma once

#include <string>

namespace qz {

// The previous-instance test: per user and per application, needs nothing from the
// running instance, and an instance that crashed never blocks a later start.
//
// "Per application" means per updater folder: each application ships its own copy of the
// updater in its own folder, so two applications' updaters run by one user never block
// each other, while two starts of the same copy do. Every platform names its mark by Key:
//
//   "qzupdate-" + user + "-" + 16 lower-case hex digits of FNV-1a (64 bit) over the folder
//
// user: the numeric user id in decimal on POSIX, the user's SID text ("S-1-5-21-...") on
// Windows. folder: the absolute path of the folder that holds the updater's executable,
// links resolved, no trailing separator, as UTF-8 bytes; on Windows with every letter
// upper-cased (its file names ignore case) and backslashes as separators.
// POSIX locks the file <runtime folder>/<Key>.lock; Windows creates the mutex "Local\<Key>".
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;

  // True when another instance of the updater is running. The first call also marks
  // this process as the running instance for the rest of its life.
  virtual bool PreviousInstance() = 0;

  // The name of the mark for `user` and the updater's `folder`, by the rule above.
  static std::string Key(const std::string& user, const std::string& folder);
};

}  // namespace qz

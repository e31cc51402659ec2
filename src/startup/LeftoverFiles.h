#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

class FileSystem;

// Temporary files of the updater (see TemporaryFileName) that no run will finish. They stay
// behind when a run is killed mid-write and when a download is cancelled (what had arrived
// keeps its temporary name, so it never passes for a complete update). The folders are
// shared: another user's or computer's run may be writing its own temporary files there
// right now, so only files that are provably abandoned go.
class LeftoverFiles {
 public:
  // A file changed more recently than this may still belong to a running update: a slow
  // download, or a staged file that waits for the rest of its update.
  static constexpr int64_t kAbandonedAfterSeconds = 12 * 60 * 60;

  // Deletes every file directly in each of `folders` whose name is one of the updater's
  // own temporary patterns, unless it changed within kAbandonedAfterSeconds or a process
  // holds it (a writer holds its temporary file locked until it is complete); nothing else
  // is touched. Never fails: a missing folder or a file that cannot be deleted is passed
  // over.
  static void DeleteIn(FileSystem& files, const std::vector<std::string>& folders);

  // Deletes every file directly in `folder` through `files` (which may wait out a file
  // held for a moment), going on past failures and then throwing the first. Files of the
  // updater's temporary patterns are tried once through `direct` and left when that fails:
  // another run (a second user's download) holds them while it writes them.
  static void EmptyFolder(FileSystem& files, FileSystem& direct, const std::string& folder);
};

}  // namespace qz

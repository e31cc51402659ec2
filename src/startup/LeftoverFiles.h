#pragma once

#include <string>
#include <vector>

namespace qz {

class FileSystem;

// Temporary files that a killed run of the updater left behind (see TemporaryFileName).
class LeftoverFiles {
 public:
  // Deletes every file directly in each of `folders` whose name is one of the updater's
  // own temporary patterns; nothing else is touched. Never fails: a missing folder or a
  // file that cannot be deleted is passed over.
  static void DeleteIn(FileSystem& files, const std::vector<std::string>& folders);
};

}  // namespace qz

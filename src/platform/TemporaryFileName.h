#pragma once

#include <cstdint>
#include <string>

namespace qz {

// Names of the updater's own temporary files. A file being replaced is written as
// ".<name>.<tag>.qztmp" beside its target (the tag is random, or names the purpose); the
// extraction library writes a member as ".qzunzip-<pid>-<n>.tmp". Such files outlive the
// process that made them when it is killed mid-write, and on purpose when a download is
// cancelled; while they are young or held they may be another run's work in progress (the start-up
// clean-up spares them). A writer holds its temporary file locked until it takes its name.
class TemporaryFileName {
 public:
  // The temporary name for the file called `name` (no folder); `tag` is letters and digits.
  static std::string For(const std::string& name, const std::string& tag);
  // True when the file name `name` (no folder) has one of the two patterns.
  static bool IsOurs(const std::string& name);
};

}  // namespace qz

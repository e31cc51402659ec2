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

  // How the private copies of process `pid` in the user's temporary folder begin:
  // "qzupdate-<pid>-", followed by letters, digits or dots that make the name unique.
  static std::string PrivateCopyStem(unsigned long pid);
  // The process that made the private copy called `name` (no folder), or 0 when `name` is
  // no private copy. A run ended during the install leaves its copy behind; the process
  // in its name tells whether the copy is still somebody's work in progress.
  static unsigned long PrivateCopyOwner(const std::string& name);
};

}  // namespace qz

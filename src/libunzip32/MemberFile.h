#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace qz::unzip32 {

class NativeFolder;

// A member being written: a temporary file in the target folder that takes the member's
// name only when Commit is called, after its data has checked. Destroyed without Commit,
// it removes the temporary file, so a damaged member never leaves a partial file behind
// and never replaces the file it was meant to replace. Failures throw SystemError.
class MemberFile {
 public:
  explicit MemberFile(const NativeFolder& folder);
  ~MemberFile();
  MemberFile(const MemberFile&) = delete;
  MemberFile& operator=(const MemberFile&) = delete;

  // True for names of the pattern of the temporary files (".qzunzip-*.tmp", any case),
  // which a member must not take: they are cleaned up as leftovers of a broken run.
  static bool IsTemporaryName(const std::string& name);

  void Write(const char* data, size_t size);
  // Gives the file the permissions `mode` (under the process's umask, where the platform
  // has permissions) and the time `modified`, flushes it to disk, then renames it over
  // `name`. The folder's entry is flushed by its TargetFolder.
  void Commit(const std::string& name, uint32_t mode, time_t modified);

 private:
  // The name of the attempt-th candidate for the temporary file.
  static std::string TemporaryName(unsigned attempt);
  void Discard();

  const NativeFolder& folder_;
  intptr_t file_ = -1;
  std::string tempName_;
};

}  // namespace qz::unzip32

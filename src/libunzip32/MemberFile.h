#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>

namespace qz::unzip32 {

// A member being written: a temporary file in the target folder that takes the member's
// name only when Commit is called, after its data has checked. Destroyed without Commit,
// it removes the temporary file, so a damaged member never leaves a partial file behind
// and never replaces the file it was meant to replace. Failures throw SystemError.
class MemberFile {
 public:
  explicit MemberFile(int folderFd);
  ~MemberFile();
  MemberFile(const MemberFile&) = delete;
  MemberFile& operator=(const MemberFile&) = delete;

  // True for names of the pattern of the temporary files (".qzunzip-*.tmp", any case),
  // which a member must not take: they are cleaned up as leftovers of a broken run.
  static bool IsTemporaryName(const std::string& name);

  void Write(const char* data, size_t size);
  // Gives the file `mode` and `modified`, flushes it to disk, then renames it over `name`.
  // The folder's entry is flushed by its TargetFolder.
  void Commit(const std::string& name, mode_t mode, time_t modified);

 private:
  int folderFd_;
  int fd_ = -1;
  std::string tempName_;
};

}  // namespace qz::unzip32

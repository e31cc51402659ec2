#pragma once

#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <string>

namespace qz::unzip32 {

class NativeFolder;

// A member being written: a temporary file in the target folder that takes the member's
// name only when Rename is called, after its data has checked and been flushed. Destroyed
// without Rename, it removes the temporary file, so a damaged member never leaves a partial
// file behind and never replaces the file it was meant to replace. Failures throw
// SystemError.
class MemberFile {
 public:
  // Creates the temporary file in `folder` with the permissions `mode` (under the
  // process's umask, where the platform has permissions). `serial` tells apart the
  // temporary files of one run, many of which wait for their rename together.
  MemberFile(const NativeFolder& folder, uint32_t mode, uint64_t serial);
  ~MemberFile();
  MemberFile(const MemberFile&) = delete;
  MemberFile& operator=(const MemberFile&) = delete;

  // True for names of the patterns of this library's and the updater's temporary files
  // (".qzunzip-*.tmp" and ".*.qztmp", any case), which a member must not take: a later
  // start of the updater would delete such a file as a leftover of a broken run.
  static bool IsTemporaryName(const std::string& name);

  void Write(const char* data, size_t size);
  // Gives the complete file the time `modified`; on POSIX systems also closes it.
  void Close(time_t modified);
  // Makes the closed file's data durable, together with the folder's FlushAll: on Windows
  // flushes and closes the file here (there is no flush of many files at once), elsewhere
  // leaves it to FlushAll. May run on another thread than the one that wrote the file.
  void Flush();
  // Renames the closed and flushed file over `name`. The new entry is flushed by the
  // TargetFolder.
  void Rename(const std::string& name);

 private:
  // How often a taken temporary name is tried again under another number.
  static constexpr unsigned kAttempts = 1000;
  // The name of the attempt-th candidate for the temporary file: ".qzunzip-<pid>-<n>.tmp",
  // the pattern that the updater cleans up after a killed run.
  static std::string TemporaryName(uint64_t serial, unsigned attempt);
  // The number <n> of that name, unique for each serial and attempt.
  static uint64_t Candidate(uint64_t serial, unsigned attempt) {
    return serial * (kAttempts + 1) + attempt;
  }
  void Discard();

  const NativeFolder& folder_;
  intptr_t file_ = -1;
  std::string tempName_;
  bool renamed_ = false;
};

}  // namespace qz::unzip32

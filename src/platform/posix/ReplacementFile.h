#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "platform/TransferTarget.h"
#include "platform/posix/EarlyWriteback.h"

namespace qz {

// New contents for a file, written to a temporary file in the same folder and renamed
// over the target only when complete, so the target is either the old file or the whole
// new one, even after a crash or power cut. Without Commit the temporary file is removed.
// The temporary name follows TemporaryFileName, and the temporary file is held under an
// exclusive flock until it is closed, so no other run takes it for a leftover. Every operation
// returns 0 or the errno of the failure.
class ReplacementFile : public TransferTarget {
 public:
  // `target` is used as given (already resolved); `mode` are the permission bits of the
  // new file before the umask.
  ReplacementFile(std::string target, mode_t mode);
  ~ReplacementFile() override;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // Creates the temporary file beside the target (ENOENT: the target's folder is missing).
  int Open();
  // Appends all `size` bytes.
  int Write(const char* data, size_t size) override;
  // Flushes the data to disk, closes and renames over the target, then flushes the folder.
  int Commit() override;

 private:
  void Discard();

  std::string target_;
  std::string temporary_;
  mode_t mode_;
  int fd_ = -1;
  EarlyWriteback writeback_;
};

}  // namespace qz

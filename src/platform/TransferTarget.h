#pragma once

#include <cstddef>

namespace qz {

// Where a download's body goes: a temporary file written piece by piece that becomes the
// real file in one step, so a failed or interrupted transfer never leaves part of a file
// under the real name. Both operations return 0 or the platform's error number (errno).
class TransferTarget {
 public:
  virtual ~TransferTarget() = default;

  // Appends all `size` bytes.
  virtual int Write(const char* data, size_t size) = 0;
  // Flushes the whole file to disk and puts it in place of the target.
  virtual int Commit() = 0;
};

}  // namespace qz

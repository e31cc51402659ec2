#pragma once

#include <sys/types.h>

#include <cstddef>

namespace qz {

// Starts the kernel's writeback of a file being written every few MiB, so that the flush
// before its rename finds little left to write instead of the whole download at once.
class EarlyWriteback {
 public:
  // Notes `bytes` more written to `fd`; starts writing back what is dirty once enough has
  // gathered. Never fails: a write error shows again in the final fsync.
  void Wrote(int fd, size_t bytes);

 private:
  off_t sinceStarted_ = 0;
};

}  // namespace qz

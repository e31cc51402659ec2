#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstddef>
#include <thread>

namespace qz {

// Makes a file durable while it is being written: every few MiB the kernel starts writing
// it back, and a flush of the file runs on a thread of its own, so that the disk stores the
// download while more of it arrives and the flush before the rename finds little left.
class EarlyWriteback {
 public:
  EarlyWriteback() = default;
  // Waits for a flush in progress.
  ~EarlyWriteback();
  EarlyWriteback(const EarlyWriteback&) = delete;
  EarlyWriteback& operator=(const EarlyWriteback&) = delete;

  // Notes `bytes` more written to `fd`; starts the writeback and a flush once enough has
  // gathered (a flush only when none is running). Never fails: Finish reports a failed flush.
  void Wrote(int fd, size_t bytes);
  // Waits for a flush in progress; returns 0 or the error number of the first flush that
  // failed. Call it before the file is closed.
  int Finish();
  // Finish, then flushes `fd` whole; returns 0 or the first error of either.
  int Flush(int fd);

 private:
  void StartFlush(int fd);

  off_t sinceStarted_ = 0;
  off_t sinceFlushed_ = 0;
  std::thread flusher_;
  std::atomic<bool> flushing_{false};
  std::atomic<int> error_{0};
};

}  // namespace qz

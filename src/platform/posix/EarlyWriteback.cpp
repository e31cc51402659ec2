#include "platform/posix/EarlyWriteback.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <exception>

namespace qz {
namespace {

// Chosen with download_bench. Starting the writeback every 8 MiB hands the data to the disk
// as it arrives; a flush every 16 MiB on the side makes the disk store it meanwhile, so
// the flush before the rename waits for the last few MiB instead of most of the file.
constexpr off_t kWritebackChunk = off_t{8} << 20;
constexpr off_t kFlushChunk = off_t{16} << 20;

}  // namespace

EarlyWriteback::~EarlyWriteback() {
  Finish();
}

void EarlyWriteback::Wrote(int fd, size_t bytes) {
  sinceStarted_ += static_cast<off_t>(bytes);
  sinceFlushed_ += static_cast<off_t>(bytes);
  if (sinceStarted_ >= kWritebackChunk) {
    // Offset 0 and length 0: the whole file; pages already written back are skipped.
    sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    sinceStarted_ = 0;
  }
  if (sinceFlushed_ >= kFlushChunk && !flushing_.load()) StartFlush(fd);
}

void EarlyWriteback::StartFlush(int fd) {
  if (flusher_.joinable()) flusher_.join();
  sinceFlushed_ = 0;
  flushing_ = true;
  try {
    flusher_ = std::thread([this, fd] {
      // A failure must be kept: the kernel reports it to one flush only, and that may be
      // this one rather than the final one.
      int expected = 0;
      if (fdatasync(fd) != 0) error_.compare_exchange_strong(expected, errno);
      flushing_ = false;
    });
  } catch (const std::exception&) {
    // Without a thread the final flush stores everything, as it would anyway.
    flushing_ = false;
  }
}

int EarlyWriteback::Finish() {
  if (flusher_.joinable()) flusher_.join();
  return error_.load();
}

int EarlyWriteback::Flush(int fd) {
  if (int error = Finish()) return error;
  return fsync(fd) == 0 ? 0 : errno;
}

}  // namespace qz

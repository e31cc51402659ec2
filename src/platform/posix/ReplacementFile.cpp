#include "platform/posix/ReplacementFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <random>
#include <utility>

#include "platform/TemporaryFileName.h"

namespace qz {
namespace {

constexpr int kNameAttempts = 100;

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string TemporaryName(const std::string& target, unsigned suffix) {
  size_t slash = target.rfind('/');
  std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
  return folder + TemporaryFileName::For(target.substr(folder.size()), std::to_string(suffix));
}

}  // namespace

ReplacementFile::ReplacementFile(std::string target, mode_t mode)
    : target_(std::move(target)), mode_(mode) {}

ReplacementFile::~ReplacementFile() {
  Discard();
}

int ReplacementFile::Open() {
  std::random_device seed;
  std::mt19937 random(seed());
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    std::string name = TemporaryName(target_, static_cast<unsigned>(random()));
    fd_ = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode_);
    if (fd_ >= 0) {
      temporary_ = name;
      // Another run's start-up clean-up spares a file that is held; a new file of a unique
      // name cannot be held by anyone else yet, so the lock is always granted.
      flock(fd_, LOCK_EX | LOCK_NB);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int ReplacementFile::Write(const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<size_t>(written);
    writeback_.Wrote(fd_, static_cast<size_t>(written));
  }
  return 0;
}

int ReplacementFile::Commit() {
  if (int error = writeback_.Flush(fd_)) return error;
  int fd = std::exchange(fd_, -1);
  if (close(fd) != 0) return errno;
  if (rename(temporary_.c_str(), target_.c_str()) != 0) return errno;
  temporary_.clear();
  // The rename itself is only durable once the folder's entry is on disk; a folder that
  // cannot be flushed still holds the complete file, so that failure is not reported.
  int folder = open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    fsync(folder);
    close(folder);
  }
  return 0;
}

void ReplacementFile::Discard() {
  writeback_.Finish();
  if (fd_ >= 0) close(std::exchange(fd_, -1));
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
}

}  // namespace qz

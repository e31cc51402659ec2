#include "libunzip32/MemberFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "libunzip32/NativeFolder.h"
#include "libunzip32/SystemError.h"

namespace qz::unzip32 {
namespace {

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
}

mode_t ProcessUmask() {
  static const mode_t mask = [] {
    mode_t current = umask(022);
    umask(current);
    return current;
  }();
  return mask;
}

}  // namespace

std::string MemberFile::TemporaryName(unsigned attempt) {
  return ".qzunzip-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
}

MemberFile::MemberFile(const NativeFolder& folder) : folder_(folder) {
  for (unsigned attempt = 0; file_ < 0; ++attempt) {
    tempName_ = TemporaryName(attempt);
    file_ = openat(Fd(folder_.Handle()), tempName_.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (file_ < 0 && (errno != EEXIST || attempt > 1000)) {
      throw SystemError::LastFailure("Cannot create a temporary file");
    }
  }
}

void MemberFile::Discard() {
  if (file_ < 0) return;
  close(Fd(file_));
  file_ = -1;
  unlinkat(Fd(folder_.Handle()), tempName_.c_str(), 0);
}

void MemberFile::Write(const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(Fd(file_), data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw SystemError::LastFailure("Cannot write");
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void MemberFile::Commit(const std::string& name, uint32_t mode, time_t modified) {
  struct timespec times[2] = {{modified, 0}, {modified, 0}};
  if (fchmod(Fd(file_), static_cast<mode_t>(mode) & ~ProcessUmask()) != 0 ||
      futimens(Fd(file_), times) != 0) {
    throw SystemError::LastFailure("Cannot set the attributes of " + name);
  }
  // The data must be on disk before the name is: after a power cut the target holds
  // either its old or its whole new contents, never an empty or torn file.
  if (fsync(Fd(file_)) != 0) throw SystemError::LastFailure("Cannot write " + name);
  int fd = Fd(file_);
  file_ = -1;
  if (close(fd) != 0) {
    int error = errno;
    unlinkat(Fd(folder_.Handle()), tempName_.c_str(), 0);
    throw SystemError::Failure("Cannot write " + name, error);
  }
  if (renameat(Fd(folder_.Handle()), tempName_.c_str(), Fd(folder_.Handle()), name.c_str()) != 0) {
    int error = errno;
    unlinkat(Fd(folder_.Handle()), tempName_.c_str(), 0);
    throw SystemError::Failure("Cannot replace " + name, error);
  }
}

}  // namespace qz::unzip32

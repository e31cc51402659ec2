#include "libunzip32/MemberFile.h"

#include <fcntl.h>
#include <sys/file.h>
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

}  // namespace

std::string MemberFile::TemporaryName(uint64_t serial, unsigned attempt) {
  return ".qzunzip-" + std::to_string(getpid()) + "-" + std::to_string(Candidate(serial, attempt)) +
         ".tmp";
}

MemberFile::MemberFile(const NativeFolder& folder, uint32_t mode, uint64_t serial)
    : folder_(folder) {
  for (unsigned attempt = 0; file_ < 0; ++attempt) {
    tempName_ = TemporaryName(serial, attempt);
    file_ = openat(Fd(folder_.Handle()), tempName_.c_str(),
                   O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, static_cast<mode_t>(mode));
    if (file_ < 0 && (errno != EEXIST || attempt >= kAttempts)) {
      throw SystemError::LastFailure("Cannot create a temporary file");
    }
  }
  // Held while it is written, so that a clean-up started by another run meanwhile spares
  // it; a new file of a unique name cannot be held by anyone else, so the lock is granted.
  flock(Fd(file_), LOCK_EX | LOCK_NB);
}

void MemberFile::Discard() {
  if (file_ >= 0) close(Fd(file_));
  file_ = -1;
  if (!renamed_) unlinkat(Fd(folder_.Handle()), tempName_.c_str(), 0);
  renamed_ = true;
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

void MemberFile::Close(time_t modified) {
  struct timespec times[2] = {{modified, 0}, {modified, 0}};
  if (futimens(Fd(file_), times) != 0) {
    throw SystemError::LastFailure("Cannot set the time of a member");
  }
  int fd = Fd(file_);
  file_ = -1;
  if (close(fd) != 0) throw SystemError::LastFailure("Cannot write a member");
}

// One flush of the whole file system covers every file (NativeFolder::FlushAll).
void MemberFile::Flush() {}

void MemberFile::Rename(const std::string& name) {
  if (renameat(Fd(folder_.Handle()), tempName_.c_str(), Fd(folder_.Handle()), name.c_str()) != 0) {
    throw SystemError::LastFailure("Cannot replace " + name);
  }
  renamed_ = true;
}

}  // namespace qz::unzip32

#include "libunzip32/MemberFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include "libunzip32/SystemError.h"

namespace qz::unzip32 {
namespace {

constexpr char kTemporaryPrefix[] = ".qzunzip-";
constexpr char kTemporarySuffix[] = ".tmp";

}  // namespace

MemberFile::MemberFile(int folderFd) : folderFd_(folderFd) {
  for (unsigned attempt = 0; fd_ < 0; ++attempt) {
    tempName_ = kTemporaryPrefix + std::to_string(getpid()) + "-" + std::to_string(attempt) +
                kTemporarySuffix;
    fd_ = openat(folderFd_, tempName_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                 0600);
    if (fd_ < 0 && (errno != EEXIST || attempt > 1000)) {
      throw SystemFailure("Cannot create a temporary file", errno);
    }
  }
}

MemberFile::~MemberFile() {
  if (fd_ >= 0) {
    close(fd_);
    unlinkat(folderFd_, tempName_.c_str(), 0);
  }
}

bool MemberFile::IsTemporaryName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string prefix = kTemporaryPrefix;
  const std::string suffix = kTemporarySuffix;
  return folded.size() >= prefix.size() + suffix.size() && folded.rfind(prefix, 0) == 0 &&
         folded.compare(folded.size() - suffix.size(), suffix.size(), suffix) == 0;
}

void MemberFile::Write(const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      throw SystemFailure("Cannot write", errno);
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void MemberFile::Commit(const std::string& name, mode_t mode, time_t modified) {
  struct timespec times[2] = {{modified, 0}, {modified, 0}};
  if (fchmod(fd_, mode) != 0 || futimens(fd_, times) != 0) {
    throw SystemFailure("Cannot set the attributes of " + name, errno);
  }
  // The data must be on disk before the name is: after a power cut the target holds
  // either its old or its whole new contents, never an empty or torn file.
  if (fsync(fd_) != 0) throw SystemFailure("Cannot write " + name, errno);
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) {
    int error = errno;
    unlinkat(folderFd_, tempName_.c_str(), 0);
    throw SystemFailure("Cannot write " + name, error);
  }
  if (renameat(folderFd_, tempName_.c_str(), folderFd_, name.c_str()) != 0) {
    int error = errno;
    unlinkat(folderFd_, tempName_.c_str(), 0);
    throw SystemFailure("Cannot replace " + name, error);
  }
}

}  // namespace qz::unzip32

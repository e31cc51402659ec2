#include "platform/posix/FlockInstanceGuard.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace qz {
namespace {

std::string DefaultLockFolder() {
  const char* runtime = getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/' && access(runtime, W_OK | X_OK) == 0) return runtime;
  return "/tmp";
}

std::string ExecutableFolder() {
  char path[PATH_MAX + 1];
  ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
  if (length <= 0) return {};
  std::string executable(path, static_cast<size_t>(length));
  size_t slash = executable.rfind('/');
  return slash == 0 ? "/" : executable.substr(0, slash);
}

// The same folder reached through a link or with a trailing slash names the same lock.
std::string ResolvedFolder(const std::string& folder) {
  char resolved[PATH_MAX];
  if (realpath(folder.c_str(), resolved) != nullptr) return resolved;
  return folder;
}

}  // namespace

FlockInstanceGuard::FlockInstanceGuard() : FlockInstanceGuard(DefaultLockFolder()) {}

FlockInstanceGuard::FlockInstanceGuard(std::string lockFolder)
    : FlockInstanceGuard(std::move(lockFolder), ExecutableFolder()) {}

FlockInstanceGuard::FlockInstanceGuard(std::string lockFolder, const std::string& updaterFolder)
    : lockPath_(std::move(lockFolder) + "/" +
                Key(std::to_string(getuid()), ResolvedFolder(updaterFolder)) + ".lock") {}

FlockInstanceGuard::~FlockInstanceGuard() {
  if (fd_ >= 0) close(fd_);
}

bool FlockInstanceGuard::PreviousInstance() {
  if (fd_ >= 0) return false;
  // O_NOFOLLOW and the owner test keep another user's planted file or link in /tmp from
  // deciding anything for us.
  int fd = open(lockPath_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat info;
  if (fstat(fd, &info) != 0 || info.st_uid != getuid()) {
    close(fd);
    return false;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
    fd_ = fd;
    return false;
  }
  int error = errno;
  close(fd);
  return error == EWOULDBLOCK;
}

}  // namespace qz

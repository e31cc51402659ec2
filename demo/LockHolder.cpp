#include "LockHolder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>

namespace qz::demo {

namespace {

[[noreturn]] void Fail(int fd, const std::string& what) {
  int error = errno;
  if (fd >= 0) ::close(fd);
  throw std::system_error(error, std::generic_category(), what);
}

}  // namespace

LockHolder::LockHolder(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) Fail(fd, "cannot open " + path);
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) Fail(fd, "cannot lock " + path + " (flock)");
  struct flock whole {};
  whole.l_type = F_WRLCK;
  whole.l_whence = SEEK_SET;
  if (::fcntl(fd, F_SETLK, &whole) != 0) Fail(fd, "cannot lock " + path + " (fcntl)");

  std::string holder = "Vq stand-in, process " + std::to_string(::getpid()) + "\r\n";
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, holder.data(), holder.size(), 0) < 0) {
    Fail(fd, "cannot write " + path);
  }
  fd_ = fd;
}

LockHolder::~LockHolder() {
  ::close(fd_);
}

}  // namespace qz::demo

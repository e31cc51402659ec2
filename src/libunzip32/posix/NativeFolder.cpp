#include "libunzip32/NativeFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "libunzip32/SystemError.h"

namespace qz::unzip32 {
namespace {

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      throw SystemError::LastFailure("Cannot create folder " + prefix);
    }
    if (slash == std::string::npos) return;
  }
}

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

std::unique_ptr<NativeFolder> NativeFolder::Open(const std::string& path, bool create) {
  if (create) MakeFolders(path);
  int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 && !create && errno == ENOENT) return nullptr;
  if (fd < 0) throw SystemError::LastFailure("Cannot open folder " + path);
  return std::unique_ptr<NativeFolder>(new NativeFolder(path, fd));
}

NativeFolder::~NativeFolder() {
  close(Fd(handle_));
}

std::unique_ptr<NativeFolder> NativeFolder::Child(const std::string& name) const {
  int fd = openat(Fd(handle_), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) return std::unique_ptr<NativeFolder>(new NativeFolder(path_ + "/" + name, fd));
  int error = errno;
  struct stat info;
  if (error == ELOOP || (fstatat(Fd(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                         S_ISLNK(info.st_mode))) {
    throw SystemError("Folder " + name + " is a link, not followed");
  }
  if (error == ENOTDIR) throw SystemError(name + " exists and is not a folder");
  throw SystemError::Failure("Cannot open folder " + name, error);
}

void NativeFolder::MakeChild(const std::string& name) {
  if (mkdirat(Fd(handle_), name.c_str(), 0777) != 0 && errno != EEXIST) {
    throw SystemError::LastFailure("Cannot create folder " + name);
  }
}

std::vector<std::string> NativeFolder::Names() const {
  int copy = dup(Fd(handle_));
  DIR* dir = copy >= 0 ? fdopendir(copy) : nullptr;
  if (dir == nullptr) {
    int error = errno;
    if (copy >= 0) close(copy);
    throw SystemError::Failure("Cannot read folder " + path_, error);
  }
  rewinddir(dir);
  std::vector<std::string> names;
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(dir);
  return names;
}

std::optional<NativeFolder::Entry> NativeFolder::Inspect(const std::string& name) const {
  struct stat info;
  if (fstatat(Fd(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return Entry{S_ISREG(info.st_mode), S_ISDIR(info.st_mode), info.st_mtime};
}

bool NativeFolder::IsHeldOpen(const std::string& name) const {
  int fd = openat(Fd(handle_), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  bool held = false;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    held = errno == EWOULDBLOCK;
  } else {
    flock(fd, LOCK_UN);
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    held = fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  }
  close(fd);
  return held;
}

// One flush of the whole file system costs about what one file's or folder's flush does (a
// journal commit), where a flush per member or per folder multiplies the time of an
// extraction.
void NativeFolder::FlushAll() const {
  if (syncfs(Fd(handle_)) != 0) throw SystemError::LastFailure("Cannot write to " + path_);
}

}  // namespace qz::unzip32

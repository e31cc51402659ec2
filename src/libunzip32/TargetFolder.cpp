#include "libunzip32/TargetFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "libunzip32/SystemError.h"

namespace qz::unzip32 {
namespace {

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

void MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) {
      throw SystemFailure("Cannot create folder " + prefix, errno);
    }
    if (slash == std::string::npos) return;
  }
}

void Sync(int fd, const std::string& what) {
  if (fd >= 0 && fsync(fd) != 0 && errno != EINVAL)
    throw SystemFailure("Cannot flush " + what, errno);
}

}  // namespace

TargetFolder::TargetFolder(const std::string& path, bool planOnly)
    : root_(path), planOnly_(planOnly) {
  if (!planOnly_) MakeFolders(path);
  rootFd_ = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (rootFd_ < 0 && !(planOnly_ && errno == ENOENT)) {
    throw SystemFailure("Cannot open folder " + path, errno);
  }
  currentFd_ = rootFd_;
}

TargetFolder::~TargetFolder() {
  CloseCurrent();
  if (rootFd_ >= 0) close(rootFd_);
}

void TargetFolder::Enter(const std::vector<std::string>& folders) {
  std::string key;
  for (const auto& folder : folders) key += Folded(folder) + "/";
  if (key == currentKey_) return;
  Flush();
  CloseCurrent();
  int fd = rootFd_;
  std::string partKey;
  try {
    for (const auto& folder : folders) {
      int next = OpenPart(fd, partKey, folder);
      if (fd != rootFd_ && fd >= 0) close(fd);
      fd = next;
      partKey += Folded(folder) + "/";
    }
  } catch (...) {
    if (fd != rootFd_ && fd >= 0) close(fd);
    throw;
  }
  currentFd_ = fd;
  currentKey_ = key;
}

int TargetFolder::OpenPart(int parentFd, const std::string& key, const std::string& part) {
  Listing& listing = ListingOf(parentFd, key);
  std::string folded = Folded(part);
  if (listing.madeFiles.count(folded)) {
    throw SystemError(ENOTDIR, part + " exists and is not a folder");
  }
  if (auto found = listing.folded.find(folded); found != listing.folded.end()) {
    if (parentFd < 0 || (planOnly_ && listing.madeFolders.count(folded))) return -1;
    return OpenExisting(parentFd, listing.exact.count(part) ? part : found->second);
  }
  if (parentFd >= 0 && !planOnly_) {
    if (mkdirat(parentFd, part.c_str(), 0777) != 0 && errno != EEXIST) {
      throw SystemFailure("Cannot create folder " + part, errno);
    }
    // The new folder's entry in its parent must survive as well as the files inside it.
    Sync(parentFd, "folder " + part);
  }
  listing.exact.insert(part);
  listing.folded.emplace(folded, part);
  listing.madeFolders.insert(folded);
  return parentFd >= 0 && !planOnly_ ? OpenExisting(parentFd, part) : -1;
}

int TargetFolder::OpenExisting(int parentFd, const std::string& name) {
  int fd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) return fd;
  int error = errno;
  struct stat info;
  if (error == ELOOP ||
      (fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(info.st_mode))) {
    throw SystemError(ELOOP, "Folder " + name + " is a link, not followed");
  }
  if (error == ENOTDIR) throw SystemError(ENOTDIR, name + " exists and is not a folder");
  throw SystemFailure("Cannot open folder " + name, error);
}

TargetFolder::Listing& TargetFolder::ListingOf(int fd, const std::string& key) {
  if (auto cached = listings_.find(key); cached != listings_.end()) return cached->second;
  Listing listing;
  if (fd >= 0) {
    int copy = dup(fd);
    DIR* dir = copy >= 0 ? fdopendir(copy) : nullptr;
    if (dir == nullptr) {
      int error = errno;
      if (copy >= 0) close(copy);
      throw SystemFailure("Cannot read folder", error);
    }
    rewinddir(dir);
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      listing.exact.insert(name);
      listing.folded.emplace(Folded(name), name);
    }
    closedir(dir);
  }
  return listings_.emplace(key, std::move(listing)).first->second;
}

std::optional<std::string> TargetFolder::ExistingName(const std::string& name) {
  Listing& listing = ListingOf(currentFd_, currentKey_);
  if (listing.exact.count(name)) return name;
  if (auto found = listing.folded.find(Folded(name)); found != listing.folded.end()) {
    return found->second;
  }
  return std::nullopt;
}

std::optional<TargetFolder::Entry> TargetFolder::Inspect(const std::string& name) const {
  struct stat info;
  if (currentFd_ < 0 || fstatat(currentFd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
    return std::nullopt;
  }
  return Entry{S_ISREG(info.st_mode), info.st_mtime};
}

bool TargetFolder::IsFolder(const std::string& name) {
  Listing& listing = ListingOf(currentFd_, currentKey_);
  std::string folded = Folded(name);
  if (listing.madeFolders.count(folded)) return true;
  if (listing.madeFiles.count(folded)) return false;
  struct stat info;
  return currentFd_ >= 0 && fstatat(currentFd_, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISDIR(info.st_mode);
}

bool TargetFolder::IsHeldOpen(const std::string& name) const {
  if (currentFd_ < 0) return false;
  int fd = openat(currentFd_, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
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

void TargetFolder::Added(const std::string& name) {
  Listing& listing = ListingOf(currentFd_, currentKey_);
  listing.exact.insert(name);
  listing.folded.emplace(Folded(name), name);
  listing.madeFiles.insert(Folded(name));
}

void TargetFolder::Flush() {
  if (!changed_) return;
  Sync(currentFd_, "folder " + (currentKey_.empty() ? root_ : currentKey_));
  changed_ = false;
}

void TargetFolder::CloseCurrent() {
  if (currentFd_ != rootFd_ && currentFd_ >= 0) close(currentFd_);
  currentFd_ = rootFd_;
  currentKey_.clear();
}

}  // namespace qz::unzip32

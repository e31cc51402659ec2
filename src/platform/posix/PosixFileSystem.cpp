#include "platform/posix/PosixFileSystem.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "platform/Error.h"
#include "platform/TemporaryFileName.h"
#include "platform/posix/PathResolver.h"
#include "platform/posix/ReplacementFile.h"

namespace qz {
namespace {

constexpr size_t kCopyBufferSize = 1 << 16;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LastNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

Error ErrnoError(int error, int32_t missingNumber) {
  switch (error) {
    case ENOENT:
      return Error::Standard(missingNumber);
    case ENOTDIR:
      return Error::Standard(Error::kPathNotFound);
    case EEXIST:
      return Error::Standard(Error::kFileExists);
    case EACCES:
    case EPERM:
      return Error::Standard(Error::kPermissionDenied);
    case ENOSPC:
    case EDQUOT:
      return Error::Standard(Error::kDiskFull);
    default:
      return Error::Standard(Error::kPathFileAccess);
  }
}

// A failure on a file: a missing file is 53 in an existing folder and 76 otherwise.
Error FileError(int error, const std::string& path) {
  return ErrnoError(error, IsFolder(FolderOf(path)) ? Error::kFileNotFound : Error::kPathNotFound);
}

Error FolderError(int error) {
  return ErrnoError(error, Error::kPathNotFound);
}

// True when some process holds a lock on the file that would keep it open on Windows. The
// probe uses its own descriptor; closing it would drop record locks that this process
// held on the same file, but the updater takes none on the files it deletes or replaces.
bool HeldOpen(const std::string& path) {
  FileDescriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  // A file that cannot be opened cannot be probed; the operation itself then decides.
  if (fd.get() < 0) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  if (fcntl(fd.get(), F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK) return true;
  return flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// Throws the error that deleting or overwriting the ordinary file `path` meets on Windows:
// 75 without the owner's write bit (root could write anyway, so the bit is what counts),
// 70 while another process holds it. Anything but an existing ordinary file passes.
void CheckReplaceable(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if ((info.st_mode & S_IWUSR) == 0) throw Error::Standard(Error::kPathFileAccess);
  if (HeldOpen(path)) throw Error::Standard(Error::kPermissionDenied);
}

void DeleteResolved(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) throw FileError(errno, path);
  if (!S_ISREG(info.st_mode)) throw Error::Standard(Error::kFileNotFound);
  CheckReplaceable(path);
  if (unlink(path.c_str()) != 0) throw FileError(errno, path);
}

// `links` chooses whether a link to a file counts as one.
std::vector<std::string> NamesOfFiles(const std::string& folder, bool links) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) throw FolderError(errno);
  std::vector<std::string> files;
  const int follow = links ? 0 : AT_SYMLINK_NOFOLLOW;
  while (const dirent* entry = readdir(dir.get())) {
    struct stat info;
    if (fstatat(dirfd(dir.get()), entry->d_name, &info, follow) == 0 && S_ISREG(info.st_mode)) {
      files.emplace_back(entry->d_name);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Deletes this user's private copies in `folder` whose process has ended: a run ended
// during the install could not delete its own, and each is as large as the archive. A
// running process's copy, another user's and anything else stay; failures are ignored.
void DeleteOrphanedPrivateCopies(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(folder.c_str()), closedir);
  if (!dir) return;
  while (const dirent* entry = readdir(dir.get())) {
    const unsigned long owner = TemporaryFileName::PrivateCopyOwner(entry->d_name);
    if (owner == 0 || kill(static_cast<pid_t>(owner), 0) == 0 || errno != ESRCH) continue;
    struct stat info;
    if (fstatat(dirfd(dir.get()), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(info.st_mode) && info.st_uid == geteuid()) {
      unlinkat(dirfd(dir.get()), entry->d_name, 0);
    }
  }
}

// A folder that cannot be flushed still holds the change; only a crash could lose it.
void FlushFolder(const std::string& folder) {
  FileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) fsync(fd.get());
}

// Hands each piece of `from` to `inspect` (when set), then to `write`, which returns 0 or
// an errno.
template <typename Write>
void CopyContents(int from, const std::function<void(const char*, size_t)>& inspect,
                  Write&& write) {
  auto buffer = std::make_unique<char[]>(kCopyBufferSize);
  while (true) {
    ssize_t got = read(from, buffer.get(), kCopyBufferSize);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ErrnoError(errno, Error::kFileNotFound);
    if (got == 0) return;
    if (inspect) inspect(buffer.get(), static_cast<size_t>(got));
    if (int error = write(buffer.get(), static_cast<size_t>(got))) {
      throw ErrnoError(error, Error::kPathNotFound);
    }
  }
}

// Appends all `size` bytes to `fd`; 0 or the errno.
int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

// Throws unless `fd`, opened from `source`, is an ordinary file; returns its mode.
mode_t OrdinaryFileMode(int fd, const std::string& source) {
  struct stat info;
  if (fstat(fd, &info) != 0) throw FileError(errno, source);
  if (!S_ISREG(info.st_mode)) throw Error::Standard(Error::kPathFileAccess);
  return info.st_mode;
}

void Copy(const std::string& from, const std::string& to,
          const std::function<void(const char*, size_t)>& inspect,
          const std::function<void()>& approve) {
  std::string source = PathResolver::Resolve(from);
  FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) throw FileError(errno, source);
  const mode_t mode = OrdinaryFileMode(in.get(), source);

  std::string target = PathResolver::Resolve(to);
  CheckReplaceable(target);
  ReplacementFile out(target, (mode & 0777) | S_IWUSR);
  if (int error = out.Open()) throw FolderError(error);
  CopyContents(in.get(), inspect,
               [&](const char* data, size_t size) { return out.Write(data, size); });
  if (approve) approve();
  if (int error = out.Commit()) throw FolderError(error);
}

void Replace(ReplacementFile& file, const std::string& contents) {
  if (int error = file.Open()) throw FolderError(error);
  if (int error = file.Write(contents.data(), contents.size())) throw FolderError(error);
  if (int error = file.Commit()) throw FolderError(error);
}

}  // namespace

bool PosixFileSystem::FileExists(const std::string& path) {
  struct stat info;
  return stat(PathResolver::Resolve(path).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void PosixFileSystem::CreateFolder(const std::string& path) {
  std::string folder = PathResolver::Resolve(path);
  if (mkdir(folder.c_str(), 0775) == 0) return;
  int error = errno;
  if (error == EEXIST && IsFolder(folder)) return;
  throw error == EEXIST ? Error::Standard(Error::kPathFileAccess) : FolderError(error);
}

void PosixFileSystem::CopyFile(const std::string& from, const std::string& to) {
  Copy(from, to, nullptr, nullptr);
}

void PosixFileSystem::CopyFileChecked(const std::string& from, const std::string& to,
                                      const std::function<void(const char*, size_t)>& inspect,
                                      const std::function<void()>& approve) {
  Copy(from, to, inspect, approve);
}

std::string PosixFileSystem::CopyToPrivateFile(
    const std::string& from, const std::function<void(const char*, size_t)>& inspect) {
  std::string source = PathResolver::Resolve(from);
  FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) throw FileError(errno, source);
  OrdinaryFileMode(in.get(), source);
  const char* variable = getenv("TMPDIR");
  const std::string folder = variable != nullptr && *variable != '\0' ? variable : "/tmp";
  DeleteOrphanedPrivateCopies(folder);
  std::string name = folder + "/" +
                     TemporaryFileName::PrivateCopyStem(static_cast<unsigned long>(getpid())) +
                     "XXXXXX";
  // mkostemp creates the file 0600 and exclusively; the temporary folder's sticky bit keeps
  // others from renaming or deleting it.
  FileDescriptor out(mkostemp(name.data(), O_CLOEXEC));
  if (out.get() < 0) throw FolderError(errno);
  try {
    CopyContents(in.get(), inspect,
                 [&](const char* data, size_t size) { return WriteAll(out.get(), data, size); });
  } catch (...) {
    unlink(name.c_str());
    throw;
  }
  return name;
}

void PosixFileSystem::RenameFile(const std::string& from, const std::string& to) {
  std::string source = PathResolver::Resolve(from);
  struct stat info;
  if (lstat(source.c_str(), &info) != 0) throw FileError(errno, source);
  CheckReplaceable(source);
  std::string target = PathResolver::Resolve(to);
  if (target != source && lstat(target.c_str(), &info) == 0) {
    throw Error::Standard(Error::kFileExists);
  }
  // Resolving `to` to the source itself means a change of case only: take `to`'s spelling.
  std::string destination = target == source ? FolderOf(target) + "/" + LastNameOf(to) : target;
  // RENAME_NOREPLACE closes the gap between the test above and the rename; file systems
  // without it fall back to a plain rename.
  int result = renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE);
  if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
    result = rename(source.c_str(), destination.c_str());
  }
  if (result != 0) throw FolderError(errno);
}

void PosixFileSystem::ReplaceFile(const std::string& from, const std::string& to) {
  std::string source = PathResolver::Resolve(from);
  struct stat info;
  if (lstat(source.c_str(), &info) != 0) throw FileError(errno, source);
  std::string target = PathResolver::Resolve(to);
  CheckReplaceable(target);
  if (rename(source.c_str(), target.c_str()) != 0) throw FolderError(errno);
  FlushFolder(FolderOf(target));
}

void PosixFileSystem::DeleteFile(const std::string& path) {
  DeleteResolved(PathResolver::Resolve(path));
}

std::vector<std::string> PosixFileSystem::FileNamesIn(const std::string& folder) {
  return NamesOfFiles(PathResolver::Resolve(folder), false);
}

void PosixFileSystem::DeleteFilesIn(const std::string& folder) {
  std::string resolved = PathResolver::Resolve(folder);
  std::optional<Error> first;
  for (const auto& name : NamesOfFiles(resolved, true)) {
    try {
      DeleteResolved(resolved + "/" + name);
    } catch (const Error& error) {
      if (!first) first = error;
    }
  }
  if (first) throw *first;
}

std::string PosixFileSystem::ReadTextFile(const std::string& path, size_t maxBytes) {
  std::string source = PathResolver::Resolve(path);
  FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) throw FileError(errno, source);
  struct stat info;
  if (fstat(in.get(), &info) == 0 && static_cast<uint64_t>(info.st_size) > maxBytes) {
    throw Error::Standard(Error::kOutOfMemory);
  }
  std::string text;
  char buffer[1 << 14];
  while (true) {
    ssize_t got = read(in.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ErrnoError(errno, Error::kFileNotFound);
    if (got == 0) return text;
    // A file that grows while it is read is held to the same limit.
    if (static_cast<size_t>(got) > maxBytes - text.size()) {
      throw Error::Standard(Error::kOutOfMemory);
    }
    text.append(buffer, static_cast<size_t>(got));
  }
}

void PosixFileSystem::ReadInPieces(const std::string& path,
                                   const std::function<void(const char*, size_t)>& consume) {
  std::string source = PathResolver::Resolve(path);
  FileDescriptor in(open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) throw FileError(errno, source);
  std::vector<char> buffer(1 << 16);
  while (true) {
    ssize_t got = read(in.get(), buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throw ErrnoError(errno, Error::kFileNotFound);
    if (got == 0) return;
    consume(buffer.data(), static_cast<size_t>(got));
  }
}

void PosixFileSystem::WriteTextFile(const std::string& path, const std::string& text) {
  std::string target = PathResolver::Resolve(path);
  CheckReplaceable(target);
  ReplacementFile file(target, 0666);
  Replace(file, text);
}

void PosixFileSystem::AppendToFile(const std::string& path, const std::string& text) {
  std::string target = PathResolver::Resolve(path);
  FileDescriptor out(
      open(target.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0666));
  if (out.get() < 0) throw FileError(errno, target);
  const char* data = text.data();
  size_t size = text.size();
  while (size > 0) {
    ssize_t written = write(out.get(), data, size);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) throw ErrnoError(errno, Error::kPathNotFound);
    data += written;
    size -= static_cast<size_t>(written);
  }
}

bool PosixFileSystem::RollOver(const std::string& path, const std::string& older, uint64_t limit) {
  const std::string source = PathResolver::Resolve(path);
  FileDescriptor file(open(source.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (file.get() < 0) {
    if (errno == ENOENT) return false;
    throw FileError(errno, source);
  }
  // Held: another process is renaming it right now.
  if (flock(file.get(), LOCK_EX | LOCK_NB) != 0) return false;
  // Renamed by another process since it was opened here: the name now belongs to a new file.
  struct stat held, named;
  if (fstat(file.get(), &held) != 0 || stat(source.c_str(), &named) != 0 ||
      held.st_dev != named.st_dev || held.st_ino != named.st_ino ||
      static_cast<uint64_t>(held.st_size) < limit) {
    return false;
  }
  const std::string target = PathResolver::Resolve(older);
  CheckReplaceable(target);
  if (rename(source.c_str(), target.c_str()) != 0) throw FolderError(errno);
  return true;
}

int64_t PosixFileSystem::SecondsSinceChanged(const std::string& path) {
  std::string resolved = PathResolver::Resolve(path);
  struct stat info;
  if (stat(resolved.c_str(), &info) != 0) throw FileError(errno, resolved);
  // The status change time cannot be set back, unlike the modification time, which the
  // extraction library sets to each member's date before the file takes its name.
  const int64_t changed = std::max<int64_t>(info.st_mtime, info.st_ctime);
  return static_cast<int64_t>(time(nullptr)) - changed;
}

uint64_t PosixFileSystem::FileSize(const std::string& path) {
  std::string resolved = PathResolver::Resolve(path);
  struct stat info;
  if (stat(resolved.c_str(), &info) != 0) throw FileError(errno, resolved);
  return static_cast<uint64_t>(info.st_size);
}

uint64_t PosixFileSystem::FreeSpace(const std::string& folder) {
  struct statvfs info;
  if (statvfs(PathResolver::Resolve(folder).c_str(), &info) != 0) throw FolderError(errno);
  return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
}

std::string PosixFileSystem::ExecutableFolder() {
  std::string path(256, '\0');
  while (true) {
    ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length < 0) throw FolderError(errno);
    if (static_cast<size_t>(length) < path.size()) {
      path.resize(static_cast<size_t>(length));
      return FolderOf(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace qz

#include "platform/posix/PartialFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <utility>
#include <vector>

namespace qz {
namespace {

constexpr size_t kReadPiece = 1 << 20;
// A validator is one header value; anything longer is not ours.
constexpr std::streamsize kValidatorLimit = 1024;

std::string ReadValidator(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text(static_cast<size_t>(kValidatorLimit), '\0');
  in.read(text.data(), kValidatorLimit);
  text.resize(static_cast<size_t>(in.gcount()));
  return text.find_first_of("\r\n") == std::string::npos ? text : std::string();
}

int WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

}  // namespace

PartialFile::PartialFile(std::string partial, std::string target)
    : partial_(std::move(partial)), target_(std::move(target)) {}

PartialFile::~PartialFile() {
  if (fd_ < 0) return;
  struct stat status {};
  const bool empty = fstat(fd_, &status) == 0 && status.st_size == 0;
  // Kept for the next attempt: on disk, so a crash cannot leave a gap that later passes
  // as data.
  writeback_.Flush(fd_);
  close(fd_);
  // An empty part continues nothing; a failed answer (404, 204) leaves no trace.
  if (empty) {
    unlink(partial_.c_str());
    unlink(ValidatorPath().c_str());
  }
}

int PartialFile::Open() {
  fd_ = open(partial_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd_ < 0) return errno;
  kept_ = lseek(fd_, 0, SEEK_END);
  if (kept_ < 0) return errno;
  validator_ = kept_ > 0 ? ReadValidator(ValidatorPath()) : std::string();
  return 0;
}

int PartialFile::StartOver(const std::string& validator) {
  if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) return errno;
  kept_ = 0;
  validator_ = validator;
  if (validator.empty()) {
    unlink(ValidatorPath().c_str());
    return 0;
  }
  int fd =
      open(ValidatorPath().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) return errno;
  int error = WriteAll(fd, validator.data(), validator.size());
  if (close(fd) != 0 && error == 0) error = errno;
  return error;
}

int PartialFile::ReadBack(const std::function<bool(const char*, size_t)>& piece) {
  std::vector<char> buffer(kReadPiece);
  for (off_t offset = 0; offset < kept_;) {
    ssize_t got = pread(fd_, buffer.data(), buffer.size(), offset);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return EIO;
    offset += got;
    if (!piece(buffer.data(), static_cast<size_t>(got))) return 0;
  }
  return 0;
}

int PartialFile::Write(const char* data, size_t size) {
  int error = WriteAll(fd_, data, size);
  if (error == 0) writeback_.Wrote(fd_, size);
  return error;
}

int PartialFile::Commit() {
  if (int error = writeback_.Flush(fd_)) return error;
  int fd = std::exchange(fd_, -1);
  if (close(fd) != 0) return errno;
  if (rename(partial_.c_str(), target_.c_str()) != 0) return errno;
  return 0;
}

}  // namespace qz

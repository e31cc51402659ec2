#include "support/FileHolder.h"

#include <fcntl.h>
#include <sys/file.h>

#include "support/ChildProcess.h"

namespace qz::test {

struct FileHolder::Process {
  ChildProcess child;
};

FileHolder::FileHolder(const std::string& path)
    : process_(new Process{ChildProcess([path] {
        int fd = open(path.c_str(), O_RDWR | O_CREAT, 0644);
        return static_cast<char>(fd >= 0 && flock(fd, LOCK_EX) == 0 ? 1 : 2);
      })}) {}

FileHolder::~FileHolder() = default;

bool FileHolder::Holding() const {
  return process_->child.Reported() == 1;
}

void FileHolder::Release() {
  process_->child.Finish();
}

}  // namespace qz::test

#pragma once

#include <string>

namespace qz::demo {

// Holds a lock file open and locked for its whole life, the way Vq's database engine
// holds Config.ldb: an exclusive flock() lock and an fcntl() write lock over the whole
// file, so that either kind of test finds it held. The file itself stays when the lock
// goes, as a lock file does after a crash.
class LockHolder {
 public:
  // Creates the file if missing, writes who holds it, and locks it. Throws
  // std::system_error when the file cannot be opened or another process holds a lock.
  explicit LockHolder(const std::string& path);
  ~LockHolder();
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace qz::demo

#pragma once

#include <string>

#include "platform/InstanceGuard.h"

namespace qz {

// The previous-instance test through a lock file per user and updater folder,
// "<InstanceGuard::Key>.lock": the running instance holds an exclusive flock on it for its
// whole life. The kernel drops the
// lock when the process ends in any way, so a crashed instance never blocks a later one.
class FlockInstanceGuard : public InstanceGuard {
 public:
  // The lock file lies in $XDG_RUNTIME_DIR when that is set and writable, else in /tmp;
  // the updater folder is the running executable's.
  FlockInstanceGuard();
  // The lock file lies in `lockFolder`; the updater folder is the running executable's.
  explicit FlockInstanceGuard(std::string lockFolder);
  // The lock file lies in `lockFolder` and is named for `updaterFolder` (links resolved).
  FlockInstanceGuard(std::string lockFolder, const std::string& updaterFolder);
  ~FlockInstanceGuard() override;
  FlockInstanceGuard(const FlockInstanceGuard&) = delete;
  FlockInstanceGuard& operator=(const FlockInstanceGuard&) = delete;

  // True while another process holds the lock. A lock file that cannot be opened, or that
  // belongs to another user, proves nothing: false, so the updater is never kept from
  // running by a file it does not own.
  bool PreviousInstance() override;

 private:
  std::string lockPath_;
  int fd_ = -1;
};

}  // namespace qz

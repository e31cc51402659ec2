#pragma once

#include <string>

#include "platform/InstanceGuard.h"

namespace qz {

// The previous-instance test over a named mutex in the session's namespace: "Local\" +
// InstanceGuard::Key of the user's SID and the updater's folder. The running instance keeps the
// mutex open for the rest of its life; the system closes it when the process ends in any way, so a
// crashed instance never blocks. The mutex is never acquired, only created: its existence
// is the mark.
class NamedMutexInstanceGuard : public InstanceGuard {
 public:
  // The mark of this user and of the folder that holds the running executable.
  NamedMutexInstanceGuard();
  // The mark "Local\" + `key`.
  explicit NamedMutexInstanceGuard(std::string key);
  ~NamedMutexInstanceGuard() override;
  NamedMutexInstanceGuard(const NamedMutexInstanceGuard&) = delete;
  NamedMutexInstanceGuard& operator=(const NamedMutexInstanceGuard&) = delete;

  // A mutex of that name that this user may not open (another user's) counts as running;
  // one that cannot be created for any other reason does not: a broken mark never keeps
  // the updater from running.
  bool PreviousInstance() override;

  // Key(the user's SID text, the executable's folder with links resolved, upper-cased,
  // backslashes, no trailing separator, as UTF-8).
  static std::string DefaultKey();

 private:
  std::wstring name_;
  void* mutex_ = nullptr;  // HANDLE
};

}  // namespace qz

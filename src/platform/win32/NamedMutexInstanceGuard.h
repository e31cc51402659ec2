#pragma once

#include <string>

#include "platform/InstanceGuard.h"

namespace qz {

// The previous-instance test over a named mutex in the session's namespace ("Local\"),
// named per user and per updater folder. The running instance keeps the mutex open for
// the rest of its life; the system closes it when the process ends in any way, so a
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

  // False as well when the mutex cannot be created at all: a broken mark never keeps the
  // updater from running.
  bool PreviousInstance() override;

  // "qzupdate-" + the user's SID text + "-" + 16 lower-case hex digits of FNV-1a (64 bit)
  // over the upper-cased UTF-8 path of the executable's folder, links resolved.
  static std::string DefaultKey();

 private:
  std::wstring name_;
  void* mutex_ = nullptr;  // HANDLE
};

}  // namespace qz

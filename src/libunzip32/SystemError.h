#pragma once

#include <stdexcept>
#include <string>

namespace qz::unzip32 {

// A failed file-system call, with a message for the user.
class SystemError : public std::runtime_error {
 public:
  explicit SystemError(const std::string& message, bool diskFull = false)
      : std::runtime_error(message), diskFull_(diskFull) {}

  // "`what`: <the platform's text for `code`>", where `code` is an errno value on POSIX
  // systems and a GetLastError value on Windows.
  static SystemError Failure(const std::string& what, int code);
  // Failure with the calling thread's last error code.
  static SystemError LastFailure(const std::string& what);

  bool DiskFull() const { return diskFull_; }

 private:
  bool diskFull_;
};

}  // namespace qz::unzip32

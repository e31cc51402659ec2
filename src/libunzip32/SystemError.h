#pragma once

#include <stdexcept>
#include <string>

namespace qz::unzip32 {

// A failed file-system call: the errno value and a message for the user.
class SystemError : public std::runtime_error {
 public:
  SystemError(int error, const std::string& message) : std::runtime_error(message), error_(error) {}

  int Errno() const { return error_; }
  bool DiskFull() const;

 private:
  int error_;
};

// "`what`: <text of errno>" as a SystemError.
SystemError SystemFailure(const std::string& what, int error);

}  // namespace qz::unzip32

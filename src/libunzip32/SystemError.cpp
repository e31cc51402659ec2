#include "libunzip32/SystemError.h"

#include <cerrno>
#include <cstring>

namespace qz::unzip32 {

bool SystemError::DiskFull() const {
  return error_ == ENOSPC || error_ == EDQUOT;
}

SystemError SystemFailure(const std::string& what, int error) {
  return SystemError(error, what + ": " + std::strerror(error));
}

}  // namespace qz::unzip32

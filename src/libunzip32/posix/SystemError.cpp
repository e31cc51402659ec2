#include "libunzip32/SystemError.h"

#include <cerrno>
#include <cstring>

namespace qz::unzip32 {

SystemError SystemError::Failure(const std::string& what, int code) {
  return SystemError(what + ": " + std::strerror(code), code == ENOSPC || code == EDQUOT);
}

SystemError SystemError::LastFailure(const std::string& what) {
  return Failure(what, errno);
}

}  // namespace qz::unzip32

#pragma once

#include <stdexcept>
#include <string>

namespace qz::unzip32 {

// A failure reported by the archive library, with its error code (ZIP_ER_...).
class ZipError : public std::runtime_error {
 public:
  ZipError(int code, const std::string& message) : std::runtime_error(message), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

}  // namespace qz::unzip32

#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace qz {

// The one error type of the program: a run-time error number, its description and,
// once passed on by a component, the source that passed it. Dialogs show
// "number CR LF description" to the user.
class Error : public std::runtime_error {
 public:
  // Classic run-time error numbers, used wherever one fits.
  static constexpr int32_t kInvalidCall = 5;
  static constexpr int32_t kOverflow = 6;
  static constexpr int32_t kOutOfMemory = 7;
  static constexpr int32_t kDivisionByZero = 11;
  static constexpr int32_t kDllLoad = 48;
  static constexpr int32_t kInternalError = 51;
  static constexpr int32_t kFileNotFound = 53;
  static constexpr int32_t kFileExists = 58;
  static constexpr int32_t kDiskFull = 61;
  static constexpr int32_t kPermissionDenied = 70;
  static constexpr int32_t kPathFileAccess = 75;
  static constexpr int32_t kPathNotFound = 76;
  static constexpr int32_t kDllFunctionNotFound = 453;

  Error(int32_t number, std::string description, std::string source = {});

  // An error with the classic description of `number` ("File not found" for 53, ...).
  static Error Standard(int32_t number, std::string source = {});

  // The same number and description, passed on under a new source.
  Error WithSource(std::string source) const;

  int32_t Number() const { return number_; }
  const std::string& Description() const { return description_; }
  const std::string& Source() const { return source_; }

 private:
  int32_t number_;
  std::string description_;
  std::string source_;
};

}  // namespace qz

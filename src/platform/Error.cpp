#include "platform/Error.h"

#include <utility>

namespace qz {
namespace {

const char* StandardDescription(int32_t number) {
  switch (number) {
    case Error::kInvalidCall:
      return "Invalid procedure call or argument";
    case Error::kOverflow:
      return "Overflow";
    case Error::kOutOfMemory:
      return "Out of memory";
    case Error::kDivisionByZero:
      return "Division by zero";
    case Error::kDllLoad:
      return "Error in loading DLL";
    case Error::kInternalError:
      return "Internal error";
    case Error::kFileNotFound:
      return "File not found";
    case Error::kFileExists:
      return "File already exists";
    case Error::kDiskFull:
      return "Disk full";
    case Error::kPermissionDenied:
      return "Permission denied";
    case Error::kPathFileAccess:
      return "Path/File access error";
    case Error::kPathNotFound:
      return "Path not found";
    case Error::kDllFunctionNotFound:
      return "Specified DLL function not found";
    default:
      return "Application-defined or object-defined error";
  }
}

}  // namespace

Error::Error(int32_t number, std::string description, std::string source)
    : std::runtime_error(description),
      number_(number),
      description_(std::move(description)),
      source_(std::move(source)) {}

Error Error::Standard(int32_t number, std::string source) {
  return Error(number, StandardDescription(number), std::move(source));
}

Error Error::WithSource(std::string source) const {
  return Error(number_, description_, std::move(source));
}

}  // namespace qz

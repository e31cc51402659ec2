#include "libunzip32/SystemError.h"

#include <windows.h>

namespace qz::unzip32 {

SystemError SystemError::Failure(const std::string& what, int code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string description =
      length > 0 ? std::string(text, length) : "error " + std::to_string(code);
  LocalFree(text);
  // The system's texts end in a full stop and a line break; the library's lines add their own.
  while (!description.empty() && (description.back() == '\n' || description.back() == '\r' ||
                                  description.back() == '.' || description.back() == ' ')) {
    description.pop_back();
  }
  bool diskFull = code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL;
  return SystemError(what + ": " + description, diskFull);
}

SystemError SystemError::LastFailure(const std::string& what) {
  return Failure(what, static_cast<int>(GetLastError()));
}

}  // namespace qz::unzip32

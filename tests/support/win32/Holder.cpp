// A second process for the Windows tests: takes hold of something, says so with one line
// on standard output, and keeps it until its standard input closes.
//   holder file <path>    opens the file (made when missing) for reading without delete
//                         or write sharing
//   holder mutex <key>    marks itself the running updater of `key`
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/NamedMutexInstanceGuard.h"
#include "platform/win32/WideText.h"

namespace {

void WaitForStdinToClose() {
  char byte;
  DWORD got = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got > 0) {
  }
}

void Report(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  const std::string what = argv[1];
  const std::string argument = argv[2];
  HANDLE file = INVALID_HANDLE_VALUE;
  qz::NamedMutexInstanceGuard guard(argument);
  if (what == "file") {
    file = CreateFileW(qz::WideText::FromAnsi(argument).c_str(), GENERIC_READ, FILE_SHARE_READ,
                       nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    Report(file == INVALID_HANDLE_VALUE ? "failed" : "holding");
  } else if (what == "mutex") {
    Report(guard.PreviousInstance() ? "previous" : "holding");
  } else {
    return 2;
  }
  WaitForStdinToClose();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return 0;
}

#include "platform/win32/Win32Terminator.h"

#include <windows.h>

#include <cstdio>

namespace qz {

void Win32Terminator::EndProgram() {
  std::fflush(nullptr);
  TerminateProcess(GetCurrentProcess(), 0);
  // TerminateProcess on the own process does not return; should it ever, end anyway.
  ExitProcess(0);
}

}  // namespace qz

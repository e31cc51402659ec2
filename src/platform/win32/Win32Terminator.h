#pragma once

#include "platform/Terminator.h"

namespace qz {

// Ends the process at once with exit code 0. Buffered standard output is flushed first;
// whatever the program wrote through WriteFile is in the system's cache and survives.
class Win32Terminator : public Terminator {
 public:
  // TerminateProcess, not ExitProcess: no atexit handler, static destructor or DLL
  // detach code runs, which could tear down open dialogs and run their close handlers.
  [[noreturn]] void EndProgram() override;
};

}  // namespace qz

#pragma once

#include "platform/Terminator.h"

namespace qz {

// Ends the process at once with exit status 0. Buffered standard output is flushed first;
// files the program has written and closed are already in the kernel's hands and survive.
class ProcessTerminator : public Terminator {
 public:
  // No destructor, atexit handler or static destructor runs, on purpose: they would tear
  // down open dialogs and run their close handlers, which an immediate end must not do.
  [[noreturn]] void EndProgram() override;
};

}  // namespace qz

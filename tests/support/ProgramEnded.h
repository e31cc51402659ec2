#pragma once

#include <stdexcept>

#include "platform/Terminator.h"

namespace qz::test {

// Thrown where the program would end, so a test sees the end without its process ending.
// It is not a qz::Error, so no "skip the failing statement" section can swallow it.
struct ProgramEnded : std::exception {
  const char* what() const noexcept override { return "program ended"; }
};

class ThrowingTerminator : public Terminator {
 public:
  [[noreturn]] void EndProgram() override { throw ProgramEnded(); }
};

}  // namespace qz::test

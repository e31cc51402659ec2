#pragma once

namespace qz {

// Ends the program at once: nothing after the call runs, nothing already written is lost.
class Terminator {
 public:
  virtual ~Terminator() = default;
  [[noreturn]] virtual void EndProgram() = 0;
};

}  // namespace qz

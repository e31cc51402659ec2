#pragma once

#include <exception>
#include <functional>

#include "platform/Error.h"

namespace qz {

class Prompts;
class Terminator;

// The outermost frame of a run of the program, used by every main program. Whatever the
// run lets escape (an Error that no step handled, std::bad_alloc, anything else) ends the
// program the way a failure does instead of aborting it: with a message in verbose mode,
// quietly otherwise. Files stay as they are at that moment: every step keeps the staging
// folder and the host's files whole at each point, so the next start finds them as after
// any other failure (and removes our leftover temporary files).
class GuardedRun {
 public:
  // While it exists, std::terminate (an exception thrown where none may pass, such as a
  // destructor during unwinding) also ends the program this way.
  GuardedRun(Prompts& prompts, Terminator& terminator, bool verbose);
  ~GuardedRun();
  GuardedRun(const GuardedRun&) = delete;
  GuardedRun& operator=(const GuardedRun&) = delete;

  // Runs `body`, then ends the program, whether `body` returned or threw.
  [[noreturn]] void Run(const std::function<void()>& body);

  // The number and description shown for an escaped exception.
  static Error Describe(std::exception_ptr error);

 private:
  [[noreturn]] void Fail(std::exception_ptr error);
  [[noreturn]] static void OnTerminate();

  Prompts& prompts_;
  Terminator& terminator_;
  bool verbose_;
  std::terminate_handler previous_;
};

}  // namespace qz

#pragma once

#include <sys/types.h>

#include <functional>

namespace qz::test {

// Runs a function in a forked child process, for what only another process can do: hold
// a lock, hold the instance guard, end itself. The child reports the function's result
// (one byte) and then stays alive, keeping whatever it holds, until Finish.
class ChildProcess {
 public:
  // Returns once the child has reported or ended.
  explicit ChildProcess(const std::function<char()>& body);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The byte the child reported, or 0 when it ended without reporting.
  char Reported() const { return reported_; }
  // Lets the child end and waits for it; its wait status (see waitpid).
  int Finish();

 private:
  pid_t pid_ = -1;
  int releaseFd_ = -1;
  char reported_ = 0;
  int status_ = 0;
};

}  // namespace qz::test

#include "support/ChildProcess.h"

#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace qz::test {

ChildProcess::ChildProcess(const std::function<char()>& body) {
  int report[2];
  int release[2];
  if (pipe(report) != 0 || pipe(release) != 0) throw std::runtime_error("pipe failed");
  // The child would otherwise write the parent's pending output a second time.
  fflush(nullptr);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    close(report[0]);
    close(release[1]);
    char result = body();
    if (write(report[1], &result, 1) != 1) _exit(2);
    char ignored;
    while (read(release[0], &ignored, 1) > 0) {
    }
    _exit(0);
  }
  close(report[1]);
  close(release[0]);
  releaseFd_ = release[1];
  if (read(report[0], &reported_, 1) != 1) reported_ = 0;
  close(report[0]);
}

ChildProcess::~ChildProcess() {
  Finish();
}

int ChildProcess::Finish() {
  if (pid_ > 0) {
    close(releaseFd_);
    waitpid(pid_, &status_, 0);
    pid_ = -1;
  }
  return status_;
}

}  // namespace qz::test

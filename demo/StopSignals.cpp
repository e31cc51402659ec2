#include "StopSignals.h"

#include <pthread.h>
#include <unistd.h>

namespace qz::demo {

StopSignals::StopSignals() {
  sigemptyset(&set_);
  sigaddset(&set_, SIGINT);
  sigaddset(&set_, SIGTERM);
  sigaddset(&set_, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &set_, nullptr);
}

int StopSignals::Wait() {
  int signal = 0;
  while (sigwait(&set_, &signal) != 0) {
  }
  return signal;
}

void StopSignals::Wake() {
  ::kill(::getpid(), SIGUSR1);
}

}  // namespace qz::demo

#pragma once

#include <csignal>

namespace qz::demo {

// Turns SIGINT and SIGTERM into an orderly stop. Made in main() before any thread starts,
// it blocks both signals (and SIGUSR1, the wake-up of Wake) for every thread the program
// creates later; Wait then receives them synchronously, so no handler runs at a random
// point of a worker thread.
class StopSignals {
 public:
  StopSignals();

  // Blocks until SIGINT, SIGTERM or Wake; returns the signal received.
  int Wait();

  // Ends a Wait from another thread (for a server that stopped on its own).
  static void Wake();

 private:
  sigset_t set_;
};

}  // namespace qz::demo

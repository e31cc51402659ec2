#pragma once

#include <cstdint>
#include <functional>

#include "platform/Clock.h"

namespace qz::test {

// A clock that moves only when slept on, so waits take no real time and can be counted.
class FakeClock : public Clock {
 public:
  int64_t NowSeconds() override { return nowMs / 1000; }
  int64_t NowMilliseconds() override { return nowMs; }
  void SleepMilliseconds(int milliseconds) override {
    nowMs += milliseconds;
    sleptMs += milliseconds;
    if (onSleep) onSleep();
  }

  int64_t nowMs = 1'000'000'500;
  int64_t sleptMs = 0;
  // Runs after each sleep: a test's way to act at a chosen wait of the program.
  std::function<void()> onSleep;
};

}  // namespace qz::test

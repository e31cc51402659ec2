#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "platform/Clock.h"

namespace qz::test {

// A clock that moves only when slept on, so waits take no real time and can be counted.
class FakeClock : public Clock {
 public:
  int64_t NowSeconds() override { return nowMs / 1000; }
  int64_t NowMilliseconds() override { return nowMs; }
  // The seconds of nowMs as if counted from 1970-01-01 00:00, which keeps lines comparable.
  std::string LocalTimeText() override {
    const int64_t seconds = nowMs / 1000;
    const int64_t days = seconds / 86400;
    char text[40];
    snprintf(text, sizeof text, "day %lld %02lld:%02lld:%02lld", static_cast<long long>(days),
             static_cast<long long>(seconds / 3600 % 24), static_cast<long long>(seconds / 60 % 60),
             static_cast<long long>(seconds % 60));
    return text;
  }
  void SleepMilliseconds(int milliseconds) override {
    nowMs += milliseconds;
    sleptMs += milliseconds;
    if (onSleep) onSleep();
  }

  int64_t nowMs = 1'000'000'500;
  int64_t sleptMs = 0;
  // Runs after each sleep, for what is to happen a given time into a run.
  std::function<void()> onSleep;
};

}  // namespace qz::test

#pragma once

#include <cstdint>

#include "platform/Clock.h"

namespace qz {

// The system's wall clock in local time. Because it follows the system clock, a wait
// measured with it grows when the clock is set back and shrinks when it is set forward.
class SystemClock : public Clock {
 public:
  // Seconds since 1970-01-01 00:00 local time (the UTC time plus the current UTC offset).
  int64_t NowSeconds() override;
  int64_t NowMilliseconds() override;
  std::string LocalTimeText() override;
  // Sleeps the whole time even when a signal interrupts; 0 or less returns at once.
  void SleepMilliseconds(int milliseconds) override;
};

}  // namespace qz

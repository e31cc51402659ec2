#pragma once

#include <cstdint>
#include <string>

namespace qz {

// Wall clock in whole seconds and a short sleep, so waits can be counted in tests.
class Clock {
 public:
  virtual ~Clock() = default;

  // Local date and time in whole seconds since some fixed origin.
  virtual int64_t NowSeconds() = 0;

  // The same clock in milliseconds: NowSeconds() is NowMilliseconds() / 1000, rounded
  // down, so a wait can sleep up to the next whole second.
  virtual int64_t NowMilliseconds() = 0;

  // The local date and time as "YYYY-MM-DD HH:MM:SS", for records that people read.
  virtual std::string LocalTimeText() = 0;

  // Sleeps for about `milliseconds`; never handles window messages.
  virtual void SleepMilliseconds(int milliseconds) = 0;
};

}  // namespace qz

#pragma once

#include <cstdint>

#include "platform/Clock.h"

namespace qz {

// Local wall-clock time and Sleep.
class Win32Clock : public Clock {
 public:
  // Whole seconds of local time since 1 January 1601, the origin of Windows file times.
  int64_t NowSeconds() override;
  // Milliseconds of local time since 1 January 1601.
  int64_t NowMilliseconds() override;
  std::string LocalTimeText() override;
  void SleepMilliseconds(int milliseconds) override;
};

}  // namespace qz

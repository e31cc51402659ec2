#include "platform/posix/SystemClock.h"

#include <errno.h>
#include <time.h>

namespace qz {

int64_t SystemClock::NowSeconds() {
  time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  return static_cast<int64_t>(now) + local.tm_gmtoff;
}

void SystemClock::SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1'000'000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace qz

#include "platform/posix/SystemClock.h"

#include <errno.h>
#include <time.h>

#include <string>

namespace qz {

int64_t SystemClock::NowSeconds() {
  return NowMilliseconds() / 1000;
}

int64_t SystemClock::NowMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  struct tm local {};
  localtime_r(&now.tv_sec, &local);
  // UTC offsets are whole seconds, so local seconds begin when UTC seconds do.
  return (static_cast<int64_t>(now.tv_sec) + local.tm_gmtoff) * 1000 + now.tv_nsec / 1'000'000;
}

std::string SystemClock::LocalTimeText() {
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char text[32];
  return std::string(text, strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local));
}

void SystemClock::SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec remaining{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1'000'000L};
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

}  // namespace qz

#include "platform/posix/SystemClock.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <chrono>
#include <string>

namespace qz {
namespace {

class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (old_.empty()) {
      unsetenv("TZ");
    } else {
      setenv("TZ", old_.c_str(), 1);
    }
    tzset();
  }

 private:
  std::string old_;
};

TEST(SystemClockTest, CountsLocalTime) {
  SystemClock clock;
  TimeZone zone("XYZ-2");  // two hours east of UTC
  int64_t before = time(nullptr);
  int64_t now = clock.NowSeconds();
  int64_t after = time(nullptr);
  EXPECT_GE(now, before + 7200);
  EXPECT_LE(now, after + 7200);
}

TEST(SystemClockTest, SleepsAtLeastTheTimeAsked) {
  SystemClock clock;
  auto start = std::chrono::steady_clock::now();
  clock.SleepMilliseconds(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
  clock.SleepMilliseconds(0);
  clock.SleepMilliseconds(-5);
}

}  // namespace
}  // namespace qz

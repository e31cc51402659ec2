#include "platform/StallDetector.h"

#include <gtest/gtest.h>

namespace qz {
namespace {

// Feeds `bytesPerSecond` for `seconds`, a report every 100 ms, starting at `now`; returns
// the millisecond at which the detector first said stalled, or -1.
int64_t Feed(StallDetector& detector, int64_t& now, uint64_t& received, uint64_t bytesPerSecond,
             int seconds) {
  for (int tick = 0; tick < seconds * 10; ++tick) {
    now += 100;
    received += bytesPerSecond / 10;
    if (detector.Stalled(now, received)) return now;
  }
  return -1;
}

TEST(StallDetectorTest, CatchesATrickleAndAStopOneWindowAfterTheTransferLastKeptUp) {
  const StallDetector::Limit limit{1000, 60};
  int64_t now = 0;
  uint64_t received = 0;

  StallDetector steady(limit);
  steady.Stalled(now, received);
  EXPECT_EQ(Feed(steady, now, received, 1000, 600), -1);

  StallDetector trickle(limit);
  now = 0;
  trickle.Stalled(now, received);
  EXPECT_EQ(Feed(trickle, now, received, 20, 120), 60'000);

  // Fast for 59.5 s, then nothing: stalled 60 s after the last whole quota arrived.
  StallDetector stopped(limit);
  now = 0;
  stopped.Stalled(now, received);
  EXPECT_EQ(Feed(stopped, now, received, 10'000'000, 59), -1);
  now += 500;
  stopped.Stalled(now, received += 1'000'000);
  EXPECT_EQ(Feed(stopped, now, received, 0, 120), 119'500);
}

}  // namespace
}  // namespace qz

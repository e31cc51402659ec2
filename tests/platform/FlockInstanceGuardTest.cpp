#include "platform/posix/FlockInstanceGuard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace qz {
namespace {

TEST(FlockInstanceGuardTest, SeesTheInstanceRunningInAnotherProcessUntilItEnds) {
  test::TempDir dir;
  test::ChildProcess first([&] {
    // Outlives the lambda: the child keeps the lock until it is finished.
    auto* guard = new FlockInstanceGuard(dir.Path());
    return guard->PreviousInstance() ? 'P' : 'R';
  });
  ASSERT_EQ(first.Reported(), 'R');

  EXPECT_TRUE(FlockInstanceGuard(dir.Path()).PreviousInstance());
  first.Finish();

  FlockInstanceGuard next(dir.Path());
  EXPECT_FALSE(next.PreviousInstance());
  EXPECT_FALSE(next.PreviousInstance());
  test::ChildProcess second(
      [&] { return FlockInstanceGuard(dir.Path()).PreviousInstance() ? 'P' : 'R'; });
  EXPECT_EQ(second.Reported(), 'P');
}

TEST(FlockInstanceGuardTest, AnInstanceThatCrashedDoesNotBlock) {
  test::TempDir dir;
  test::ChildProcess crashed([&]() -> char {
    FlockInstanceGuard guard(dir.Path());
    guard.PreviousInstance();
    kill(getpid(), SIGKILL);  // a crash that leaves no core file behind
    return 0;
  });
  crashed.Finish();
  EXPECT_FALSE(FlockInstanceGuard(dir.Path()).PreviousInstance());
}

}  // namespace
}  // namespace qz

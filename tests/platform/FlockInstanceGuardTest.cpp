#include "platform/posix/FlockInstanceGuard.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>

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

TEST(FlockInstanceGuardTest, OneInstancePerUpdaterFolder) {
  test::TempDir locks;
  test::TempDir applications;
  std::filesystem::create_directories(applications / "Vq");
  std::filesystem::create_directories(applications / "Other");
  std::filesystem::create_directory_symlink(applications / "Vq", applications / "VqLink");
  test::ChildProcess running([&] {
    auto* guard = new FlockInstanceGuard(locks.Path(), applications / "Vq");
    return guard->PreviousInstance() ? 'P' : 'R';
  });
  ASSERT_EQ(running.Reported(), 'R');

  EXPECT_FALSE(FlockInstanceGuard(locks.Path(), applications / "Other").PreviousInstance());
  EXPECT_TRUE(FlockInstanceGuard(locks.Path(), applications / "Vq/").PreviousInstance());
  EXPECT_TRUE(FlockInstanceGuard(locks.Path(), applications / "VqLink").PreviousInstance());
  // Windows names its mutex by the same rule; this value pins the rule down.
  EXPECT_EQ(InstanceGuard::Key("1000", "/opt/vq"), "qzupdate-1000-3a066b22fac8a461");
}

}  // namespace
}  // namespace qz

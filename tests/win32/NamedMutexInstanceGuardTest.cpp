#include "platform/win32/NamedMutexInstanceGuard.h"

#include <gtest/gtest.h>
#include <process.h>

#include <string>

#include "support/win32/HolderProcess.h"

namespace qz {
namespace {

using test::HolderProcess;

// A key of this test run alone, so runs at the same time never see each other.
std::string UniqueKey(const char* name) {
  return std::string("qzupdate-test-") + name + "-" + std::to_string(_getpid());
}

TEST(NamedMutexInstanceGuardTest, ARunningInstanceBlocksUntilItEndsEvenByACrash) {
  const std::string key = UniqueKey("crash");
  {
    HolderProcess first("mutex", key);
    ASSERT_EQ(first.Reported(), "holding");
    NamedMutexInstanceGuard second(key);
    EXPECT_TRUE(second.PreviousInstance());
    HolderProcess third("mutex", key);
    EXPECT_EQ(third.Reported(), "previous");
    first.Kill();
    // A start that found a previous instance has not taken the mark for itself.
    EXPECT_FALSE(NamedMutexInstanceGuard(key).PreviousInstance());
  }
  NamedMutexInstanceGuard later(key);
  EXPECT_FALSE(later.PreviousInstance());
  EXPECT_FALSE(later.PreviousInstance());
  HolderProcess other("mutex", key);
  EXPECT_EQ(other.Reported(), "previous");
  HolderProcess otherFolder("mutex", UniqueKey("other-folder"));
  EXPECT_EQ(otherFolder.Reported(), "holding");
}

TEST(NamedMutexInstanceGuardTest, TheKeyNamesTheUserAndTheUpdatersFolder) {
  const std::string key = NamedMutexInstanceGuard::DefaultKey();
  ASSERT_EQ(key.rfind("qzupdate-S-1-", 0), 0u) << key;
  const std::string hash = key.substr(key.rfind('-') + 1);
  EXPECT_EQ(hash.size(), 16u);
  EXPECT_EQ(hash.find_first_not_of("0123456789abcdef"), std::string::npos) << hash;
  EXPECT_EQ(NamedMutexInstanceGuard::DefaultKey(), key);
}

}  // namespace
}  // namespace qz

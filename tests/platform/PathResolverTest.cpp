#include "platform/posix/PathResolver.h"

#include <gtest/gtest.h>

#include "support/TempDir.h"

namespace qz {
namespace {

TEST(PathResolverTest, FindsEveryExistingComponentWhateverItsCase) {
  test::TempDir dir;
  dir.Write("Apps/QzUFiles/VQ.Zip", "zip");
  EXPECT_EQ(PathResolver::Resolve(dir / "apps/qzufiles/vq.zip"), dir / "Apps/QzUFiles/VQ.Zip");
  EXPECT_EQ(PathResolver::Resolve(dir / "APPS/QzUFiles/Vq.Zip"), dir / "Apps/QzUFiles/VQ.Zip");
}

TEST(PathResolverTest, KeepsMissingComponentsAsWritten) {
  test::TempDir dir;
  dir.Write("Apps/x", "");
  EXPECT_EQ(PathResolver::Resolve(dir / "apps/New.TXT"), dir / "Apps/New.TXT");
  // Below a missing folder nothing is looked up, even where a name would match again.
  EXPECT_EQ(PathResolver::Resolve(dir / "apps/Gone/APPS/X"), dir / "Apps/Gone/APPS/X");
}

TEST(PathResolverTest, PrefersTheExactNameThenTheFirstInSortedOrder) {
  test::TempDir dir;
  dir.Write("ab", "");
  dir.Write("Ab", "");
  dir.Write("AB", "");
  EXPECT_EQ(PathResolver::Resolve(dir / "Ab"), dir / "Ab");
  EXPECT_EQ(PathResolver::Resolve(dir / "aB"), dir / "AB");
}

TEST(PathResolverTest, KeepsSeparatorsDotsAndOnlyFoldsAsciiLetters) {
  test::TempDir dir;
  dir.Write("Apps/Ünï", "");
  EXPECT_EQ(PathResolver::Resolve(dir / "apps/./../APPS//ünï"), dir / "Apps/./../Apps//ünï");
  EXPECT_EQ(PathResolver::Resolve(dir / "apps/"), dir / "Apps/");
  EXPECT_EQ(PathResolver::Resolve(""), "");
}

}  // namespace
}  // namespace qz

#include "platform/posix/EarlyWriteback.h"

#include <errno.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace qz {
namespace {

// The kernel reports a failed flush once, possibly to the background flush rather than the
// final one: it must still reach the commit. A pipe cannot be flushed, so every flush fails.
TEST(EarlyWritebackTest, AFailedBackgroundFlushIsReportedAtTheEnd) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  EarlyWriteback nothingYet;
  nothingYet.Wrote(ends[1], 1 << 20);
  EXPECT_EQ(nothingYet.Finish(), 0);

  EarlyWriteback writeback;
  for (int i = 0; i < 64; ++i) writeback.Wrote(ends[1], 1 << 20);
  EXPECT_EQ(writeback.Finish(), EINVAL);
  EXPECT_EQ(writeback.Finish(), EINVAL);
  close(ends[0]);
  close(ends[1]);
}

}  // namespace
}  // namespace qz

#include "platform/posix/ProcessTerminator.h"

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include "support/ChildProcess.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/TempDir.h"

namespace qz {
namespace {

TEST(ProcessTerminatorTest, EndsAtOnceKeepingWhatWasWrittenAndBuffered) {
  test::TempDir dir;
  test::ChildProcess child([&]() -> char {
    PosixFileSystem().WriteTextFile(dir / "QzUpdate.INF", "written\r\n");
    FILE* out = fopen((dir / "stdio.txt").c_str(), "w");
    fputs("buffered", out);
    static std::string marker = dir / "atexit.txt";
    atexit([] { PosixFileSystem().WriteTextFile(marker, "ran"); });
    ProcessTerminator().EndProgram();
  });
  int status = child.Finish();
  EXPECT_EQ(child.Reported(), 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(dir.Read("QzUpdate.INF"), "written\r\n");
  EXPECT_EQ(dir.Read("stdio.txt"), "buffered");
  EXPECT_FALSE(dir.Exists("atexit.txt"));
}

}  // namespace
}  // namespace qz

#include <gtest/gtest.h>

#include "platform/UpdaterVersionInfo.h"
#include "support/UpdaterFixture.h"
#include "unzip/CGCodeModule.h"

namespace qz::test {
namespace {

class MainTest : public UpdaterFixture {};

TEST_F(MainTest, BlankCommandLinesAreRefused) {
  for (const char* commandLine : {"", "   "}) {
    SCOPED_TRACE(std::string("\"") + commandLine + "\"");
    prompts.boxes.clear();
    EXPECT_TRUE(RunMain(commandLine));
    ASSERT_EQ(prompts.boxes.size(), 1u);
    EXPECT_EQ(prompts.boxes[0].title, "Not Allowed ...");
    EXPECT_EQ(prompts.boxes[0].body,
              "This program can not be run from here. It is internally used by Vq to download "
              "and install online updation files.");
    EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kCritical);
  }
  EXPECT_EQ(updater.FilesIn(), CGCodeModule::kLibraryFileName);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(MainTest, SecondInstanceEndsAndSpeaksOnlyInVerboseMode) {
  instance.running = true;
  InstallVersion("1.2");
  EXPECT_TRUE(RunMain("/Silent"));
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_FALSE(updater.Exists("QzUpdate.INF"));
  EXPECT_EQ(clock.sleptMs, 0);

  EXPECT_TRUE(RunMain("/Verbose"));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Its On ...");
  EXPECT_EQ(prompts.boxes[0].body,
            "The online updater is already running in the background.\r\nPlease wait till it "
            "may complete its job.");
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(MainTest, SilentStartWritesTheInformationFileAndWaitsThirtySeconds) {
  updater.Write("QzUpdate.INF", "an older and much longer file that must be replaced whole");
  EXPECT_TRUE(RunMain("/Silent"));
  const UpdaterVersionInfo version = UpdaterVersionInfo::Current();
  EXPECT_EQ(updater.Read("QzUpdate.INF"),
            "\"[Source Information]\"\r\n"
            "\"DeveloperName=" +
                version.companyName +
                "\"\r\n"
                "\"ApplicationName=" +
                version.comments +
                "\"\r\n"
                "\"ApplicationVersion=1.3.0\"\r\n"
                "\"ApplicationPath=" +
                updater.Path() +
                "\"\r\n"
                "\"[End Of File]\"\r\n");
  // The wait starts half a second into a whole second: 29.5 s of real time.
  EXPECT_EQ(clock.sleptMs, 29'500);
  EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(MainTest, ModesAreComparedExactly) {
  for (const char* commandLine :
       {"/silent", "/VERBOSE", "/Silent ", " /Verbose", "/Silent /Verbose"}) {
    SCOPED_TRACE(commandLine);
    EXPECT_TRUE(RunMain(commandLine));
    EXPECT_FALSE(module->IsSilent());
    EXPECT_FALSE(module->IsVerbose());
  }
  EXPECT_FALSE(updater.Exists("QzUpdate.INF"));
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_EQ(host.loaded, 0);
}

TEST_F(MainTest, WaitSecondsCountsWholeSecondsOfTheClock) {
  mQzUpdate& started = Start("/Verbose");
  for (int32_t seconds : {0, -3}) {
    clock.sleptMs = 0;
    started.WaitSeconds(seconds);
    EXPECT_EQ(clock.sleptMs, 0);
  }
  clock.nowMs = 5'000;
  started.WaitSeconds(1);
  EXPECT_EQ(clock.sleptMs, 1'000);
  clock.nowMs = 5'950;
  clock.sleptMs = 0;
  host.systemEventWaits.clear();
  started.WaitSeconds(2);
  EXPECT_EQ(clock.sleptMs, 1'050);
  // It wakes at each whole second and lets the windows' events run until the next one.
  EXPECT_EQ(host.systemEventWaits, (std::vector<int>{50, 1'000}));

  // A host that spends the time handling events leaves nothing to sleep.
  host.onSystemEvents = [&](int) {
    clock.nowMs += host.systemEventWaits.back();
    return false;
  };
  clock.nowMs = 5'950;
  clock.sleptMs = 0;
  started.WaitSeconds(2);
  EXPECT_EQ(clock.sleptMs, 0);
  EXPECT_EQ(clock.nowMs, 7'000);
}

}  // namespace
}  // namespace qz::test

#include <gtest/gtest.h>

#include "dialogs/frmDownloadUpdate.h"
#include "dialogs/frmNeedsNoUpdate.h"
#include "support/UpdaterFixture.h"

namespace qz::test {
namespace {

// Starts in verbose mode with the online version equal to the installed one, so the
// check ends at the already-installed dialog.
class NeedsNoUpdateTest : public UpdaterFixture {
 protected:
  std::shared_ptr<frmNeedsNoUpdate> Open(const std::string& name = "Vq") {
    InstallVersion("1.3", name);
    server.Put(ServerPath("Version.INF", name), "ApplicationVersion=1.3\r\n");
    EXPECT_FALSE(RunMain("/Verbose"));
    EXPECT_TRUE(module->Forms.HasNeedsNoUpdate());
    return module->Forms.NeedsNoUpdate();
  }
};

TEST_F(NeedsNoUpdateTest, NamesTheApplicationInItsMessage) {
  auto dialog = Open();
  EXPECT_TRUE(dialog->IsShown());
  EXPECT_EQ(dialog->FindControl("lblMsg1")->CaptionText(),
            "The Online Update currently available for Vq is already installed on this "
            "computer!");
  EXPECT_FALSE(module->Forms.HasCheckQzUpdate());
}

TEST_F(NeedsNoUpdateTest, EmptyNameJoinsTheTwoHalves) {
  auto dialog = Open("");
  EXPECT_EQ(dialog->FindControl("lblMsg1")->CaptionText(),
            "The Online Update currently available for  is already installed on this "
            "computer!");
}

TEST_F(NeedsNoUpdateTest, DontRemindMovesTheDownloadedFileToRemindedVersion) {
  auto dialog = Open();
  EXPECT_TRUE(Ends([&] { dialog->Click("cmdDNU"); }));
  EXPECT_EQ(app.FilesIn("QzUFiles"), "RemindedVersion.INF");
  EXPECT_EQ(app.Read("QzUFiles/RemindedVersion.INF"), "ApplicationVersion=1.3\r\n");
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_FALSE(module->Forms.HasNeedsNoUpdate());
}

TEST_F(NeedsNoUpdateTest, DontRemindReplacesAnEarlierRemindedVersion) {
  app.Write("QzUFiles/RemindedVersion.INF", "ApplicationVersion=1.0\r\n");
  auto dialog = Open();
  EXPECT_TRUE(Ends([&] { dialog->Click("cmdDNU"); }));
  EXPECT_EQ(app.Read("QzUFiles/RemindedVersion.INF"), "ApplicationVersion=1.3\r\n");
  EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(NeedsNoUpdateTest, DontRemindWithTheDownloadedFileGoneReportsFileNotFound) {
  app.Write("QzUFiles/RemindedVersion.INF", "ApplicationVersion=1.0\r\n");
  auto dialog = Open();
  std::filesystem::remove(app / "QzUFiles/Version.INF");
  EXPECT_TRUE(Ends([&] { dialog->Click("cmdDNU"); }));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Cannot Markup ...");
  EXPECT_EQ(prompts.boxes[0].body, "53\r\nFile not found");
  EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kExclamation);
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
}

TEST_F(NeedsNoUpdateTest, DontRemindWithAReadOnlyEarlierFileKeepsBoth) {
  app.Write("QzUFiles/RemindedVersion.INF", "ApplicationVersion=1.0\r\n");
  auto dialog = Open();
  app.MakeReadOnly("QzUFiles/RemindedVersion.INF");
  EXPECT_TRUE(Ends([&] { dialog->Click("cmdDNU"); }));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Cannot Markup ...");
  EXPECT_EQ(prompts.boxes[0].body, "58\r\nFile already exists");
  EXPECT_EQ(app.Read("QzUFiles/RemindedVersion.INF"), "ApplicationVersion=1.0\r\n");
  EXPECT_EQ(app.Read("QzUFiles/Version.INF"), "ApplicationVersion=1.3\r\n");
}

TEST_F(NeedsNoUpdateTest, RemindLaterAndCancelTouchNothing) {
  for (const char* button : {"cmdCRL", "cmdCancel"}) {
    SCOPED_TRACE(button);
    auto dialog = Open();
    EXPECT_TRUE(Ends([&] { dialog->Click(button); }));
    EXPECT_EQ(app.FilesIn("QzUFiles"), "Version.INF");
    EXPECT_TRUE(prompts.boxes.empty());
    EXPECT_FALSE(module->Forms.HasNeedsNoUpdate());
  }
}

TEST_F(NeedsNoUpdateTest, DownloadAnywayHandsOverToTheDownload) {
  auto dialog = Open();
  server.Put(ServerPath("VQ.Zip"), "archive");
  server.Put(ServerPath("Data.TXT"), "database");
  EXPECT_FALSE(Ends([&] { dialog->Click("cmdDIA"); }));
  EXPECT_FALSE(module->Forms.HasNeedsNoUpdate());
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb VQ.Zip Version.INF");
  EXPECT_TRUE(module->Forms.DownloadUpdate()->IsShown());
}

}  // namespace
}  // namespace qz::test

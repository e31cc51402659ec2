#include <gtest/gtest.h>

#include "dialogs/frmCheckQzUpdate.h"
#include "dialogs/frmDownloadUpdate.h"
#include "dialogs/frmNeedsNoUpdate.h"
#include "startup/InfoFile.h"
#include "startup/LeftoverFiles.h"
#include "support/UpdaterFixture.h"
#include "unzip/CGCodeModule.h"

namespace qz::test {
namespace {

class CheckQzUpdateTest : public UpdaterFixture {
 protected:
  std::string Caption(Form& form, const std::string& control) {
    return form.FindControl(control)->CaptionText();
  }
  bool DownloadStarted() { return Requested("VQ.Zip"); }
  bool NeedsNoUpdateShown() {
    return module->Forms.HasNeedsNoUpdate() && module->Forms.NeedsNoUpdate()->IsShown();
  }
};

TEST_F(CheckQzUpdateTest, DecisionTableInEveryMode) {
  struct Row {
    const char* online;
    const char* reminded;  // "" for no RemindedVersion.INF
    const char* mode;
    const char* outcome;  // "download", "needs-no-update" or "end"
  };
  const Row rows[] = {
      {"1.3", "", "/Silent", "download"},
      {"1.3", "1.2", "/Silent", "download"},
      {"1.3", "1.3", "/Silent", "end"},
      {"1.3", "1.4", "/Silent", "end"},
      {"1.2", "", "/Silent", "end"},
      {"1.1", "", "/Silent", "end"},
      {"1.3", "1.3", "/Verbose", "download"},
      {"1.3", "1.3", "plain", "download"},
      {"1.2", "", "/Verbose", "needs-no-update"},
      {"1.2", "1.0", "plain", "needs-no-update"},
      {"1.1", "", "/silent", "needs-no-update"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.online) + " reminded " + row.reminded + " " + row.mode);
    std::filesystem::remove_all(app / "QzUFiles");
    if (*row.reminded) {
      app.Write("QzUFiles/RemindedVersion.INF",
                std::string("ApplicationVersion=") + row.reminded + "\r\n");
    }
    InstallVersion("1.2");
    Publish(row.online);
    server.Fail(ServerPath("VQ.Zip"), 404);  // a download that starts ends at once
    const size_t before = server.Requests().size();
    prompts.boxes.clear();
    const bool ended = RunMain(row.mode);
    const auto requests = server.Requests();
    const bool downloaded =
        requests.size() > before + 1 && requests[before + 1] == ServerPath("VQ.Zip");
    const std::string outcome = downloaded                         ? "download"
                                : (!ended && NeedsNoUpdateShown()) ? "needs-no-update"
                                                                   : "end";
    EXPECT_EQ(outcome, row.outcome);
    if (std::string(row.mode) != "/Verbose") {
      EXPECT_EQ(Titles(), "");
    }
  }
}

TEST_F(CheckQzUpdateTest, SavedArchiveIsOfferedWithoutServerContactInEveryMode) {
  for (const char* mode : {"/Silent", "/Verbose", "anything"}) {
    SCOPED_TRACE(mode);
    InstallVersion("1.2");
    app.Write("QzUFiles/vq.ZIP", "kept archive");
    clock.sleptMs = 0;
    EXPECT_FALSE(RunMain(mode));
    EXPECT_TRUE(server.Requests().empty());
    auto download = module->Forms.DownloadUpdate();
    EXPECT_TRUE(download->IsShown());
    EXPECT_EQ(Caption(*download, "lblMsg1"),
              "The Online Update for Vq has earlier been downloaded and saved.");
    EXPECT_FALSE(module->Forms.HasCheckQzUpdate());
    EXPECT_EQ(app.Read("QzUFiles/vq.ZIP"), "kept archive");
  }
}

TEST_F(CheckQzUpdateTest, MissingVersionFileShowsM1OnlyInVerboseMode) {
  EXPECT_TRUE(RunMain("/Verbose"));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "No Version Info ...");
  EXPECT_EQ(prompts.boxes[0].body,
            "Version Information file was not found on this computer.\r\nCan not check for "
            "online updates.");
  EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kCritical);

  prompts.boxes.clear();
  EXPECT_TRUE(RunMain("plain"));
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_EQ(host.loaded, 0);
}

TEST_F(CheckQzUpdateTest, FailedVersionDownloadShowsM3WithTheSignedCode) {
  InstallVersion("1.2");
  EXPECT_TRUE(RunMain("/Verbose"));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].body,
            "There has been an Error 404 while downloading the version information for "
            "Vq\r\n\r\nCheck your Internet connection and try again.");

  // Nothing listens on port 1 of the loopback: the transfer itself fails.
  env.baseUrl = "http://127.0.0.1:1/Support/VqPrime/QzUFiles/";
  prompts.boxes.clear();
  EXPECT_TRUE(RunMain("/Verbose"));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_NE(prompts.boxes[0].body.find("There has been an Error -"), std::string::npos);
  EXPECT_NE(prompts.boxes[0].body.find(" while downloading the version information for Vq"),
            std::string::npos);

  prompts.boxes.clear();
  EXPECT_TRUE(RunMain("/Silent"));
  EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(CheckQzUpdateTest, UnreadableFilesShowM2OrM4WithTheErrorsDescription) {
  InstallVersion("1.2");
  server.Put(ServerPath("Version.INF"), "ApplicationVersion=1.3\r\n");
  const std::string online = app / "QzUFiles/Version.INF";
  files.beforeRead = [&](const std::string& path) {
    if (path == online) throw Error::Standard(Error::kPathFileAccess);
  };
  EXPECT_TRUE(RunMain("/Verbose"));
  EXPECT_EQ(Titles(), "Oops ...");
  EXPECT_EQ(prompts.boxes[0].body,
            "Cannot read Online Version Information.\r\nPath/File access error");

  prompts.boxes.clear();
  files.beforeRead = [](const std::string&) { throw Error::Standard(Error::kPermissionDenied); };
  EXPECT_TRUE(RunMain("/Verbose"));
  EXPECT_EQ(Titles(), "Oops ...");
  EXPECT_EQ(prompts.boxes[0].body, "Cannot read Application Information.\r\nPermission denied");

  prompts.boxes.clear();
  EXPECT_TRUE(RunMain("plain"));
  EXPECT_TRUE(prompts.boxes.empty());
}

TEST_F(CheckQzUpdateTest, InformationFilesOverOneMebibyteAreRefused) {
  // An information file that is only just too large, padded with items the reader ignores.
  const std::string padding(InfoFile::kMaxSize, ' ');
  InstallVersion("1.2");
  server.Put(ServerPath("Version.INF"), "ApplicationVersion=1.3\r\n" + padding);
  EXPECT_TRUE(RunMain("/Verbose"));
  EXPECT_EQ(Titles(), "No Version Info ...");
  EXPECT_EQ(prompts.boxes[0].body,
            "There has been an Error -63 while downloading the version information for "
            "Vq\r\n\r\nCheck your Internet connection and try again.");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");

  prompts.boxes.clear();
  updater.Write("Version.INF", updater.Read("Version.INF") + padding);
  EXPECT_TRUE(RunMain("/Verbose"));
  EXPECT_EQ(Titles(), "Oops ...");
  EXPECT_EQ(prompts.boxes[0].body, "Cannot read Application Information.\r\nOut of memory");
}

TEST_F(CheckQzUpdateTest, TemporaryFilesOfAKilledRunGoAtTheNextStart) {
  InstallVersion("1.2");
  Publish("1.2");
  const std::vector<std::string> folders{"", "QzUFiles/", "QzUFiles/Before/", "QzUFiles/After/"};
  const std::vector<std::string> ours{".Vq.exe.1234567.qztmp", ".VQ.Zip.staged.qztmp",
                                      ".qzunzip-4242-1.tmp"};
  const std::vector<std::string> others{
      "Vq.exe", "notes.qztmp", ".Vq.qztmp", ".Vq.exe.1-2.qztmp", ".qzunzip-x-1.tmp", ".config"};
  for (const std::string& folder : folders) {
    for (const std::string& name : ours) app.Write(folder + name, "");
    for (const std::string& name : others) app.Write(folder + name, "");
  }
  updater.Write(".QzUpdate.INF.99.qztmp", "");
  files.ageSeconds = LeftoverFiles::kAbandonedAfterSeconds;
  EXPECT_FALSE(RunMain("/Verbose"));
  for (const std::string& folder : folders) {
    for (const std::string& name : ours) EXPECT_FALSE(app.Exists(folder + name)) << folder + name;
    for (const std::string& name : others) EXPECT_TRUE(app.Exists(folder + name)) << folder + name;
  }
  EXPECT_EQ(updater.FilesIn(), std::string("Version.INF ") + CGCodeModule::kLibraryFileName);
}

TEST_F(CheckQzUpdateTest, EmptyApplicationNameGivesTwoSlashesInTheAddress) {
  InstallVersion("1.2", "");
  EXPECT_TRUE(RunMain("plain"));
  ASSERT_FALSE(server.Requests().empty());
  EXPECT_EQ(server.Requests()[0], "/Support/VqPrime/QzUFiles//Version.INF");
}

TEST_F(CheckQzUpdateTest, ServerErrorPageCountsAsVersionZero) {
  InstallVersion("1.2");
  server.Put(ServerPath("Version.INF"), "<html><body>Maintenance</body></html>");
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_TRUE(NeedsNoUpdateShown());
  EXPECT_EQ(module->App.OnlineVersion, 0);
  EXPECT_EQ(app.Read("QzUFiles/Version.INF"), "<html><body>Maintenance</body></html>");
}

TEST_F(CheckQzUpdateTest, ShowsTheInstalledVersionTextAndFillsTheRecord) {
  InstallVersion("1.2 beta");
  app.Write("QzUFiles/RemindedVersion.INF", "ApplicationVersion=1.1\r\nApplicationVersion=1.5\r\n");
  server.Put(ServerPath("Version.INF"), "ApplicationVersion=1.0\r\nApplicationVersion=9.9\r\n");
  mQzUpdate& started = Start("/Verbose");
  auto check = started.Forms.CheckQzUpdate();
  EXPECT_FALSE(Ends([&] { check->Initialize(); }));
  EXPECT_EQ(check->FindControl("lblMsg3")->CaptionText(), "Installed Version:  1.2 beta");
  EXPECT_EQ(check->FindControl("lblMsg1")->CaptionText(),
            "Checking for any online updates available for Vq");
  EXPECT_EQ(started.App.ApplicationName, "Vq");
  EXPECT_EQ(started.App.ApplicationPath, app.Path());
  EXPECT_EQ(started.App.InstalledVersion, 102);
  EXPECT_EQ(started.App.RemindedVersion, 105);
  EXPECT_EQ(started.App.OnlineVersion, 100);
  EXPECT_FALSE(started.Forms.HasCheckQzUpdate());
}

}  // namespace
}  // namespace qz::test

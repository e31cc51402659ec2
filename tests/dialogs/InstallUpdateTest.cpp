#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "dialogs/frmDownloadUpdate.h"
#include "dialogs/frmInstallUpdate.h"
#include "support/ArchiveMaker.h"
#include "support/FileHolder.h"
#include "support/UpdaterFixture.h"

namespace qz::test {
namespace {

// An installation of Vq 1.2 with an update staged by an earlier run.
class InstallUpdateTest : public UpdaterFixture {
 protected:
  InstallUpdateTest() {
    InstallVersion("1.2");
    app.Write("Vq.exe", "old exe");
    app.Write("Data.Mdb", "old data");
    Stage("new exe", "new data");
  }

  void Stage(const std::string& exe, const std::string& data) {
    std::filesystem::create_directories(app / "QzUFiles");
    ArchiveMaker(app / "QzUFiles/VQ.Zip")
        .Add("bin/vq.EXE", exe)
        .Add("docs/ReadMe.txt", "read me")
        .Close();
    app.Write("QzUFiles/Data.Mdb", data);
    app.Write("QzUFiles/Version.INF", "ApplicationVersion=1.3\r\n");
    app.Write("QzUFiles/RemindedVersion.INF", "ApplicationVersion=1.3\r\n");
  }

  // Starts as Vq would, finds the staged update and chooses "Install it right now".
  bool Install() {
    if (RunMain("/Verbose")) return true;
    return Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); });
  }

  std::string Caption(const std::string& control) {
    return module->Forms.InstallUpdate()->FindControl(control)->CaptionText();
  }
};

TEST_F(InstallUpdateTest, InstallsFlatWithBackupsAndCopies) {
  EXPECT_FALSE(Install());
  EXPECT_EQ(app.FilesIn(), "Data.Mdb ReadMe.txt Vq.exe");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  EXPECT_EQ(app.Read("Data.Mdb"), "new data");
  EXPECT_EQ(app.FilesIn("QzUFiles/Before"), "Data.Mdb Vq.Exe");
  EXPECT_EQ(app.Read("QzUFiles/Before/Vq.Exe"), "old exe");
  EXPECT_EQ(app.Read("QzUFiles/Before/Data.Mdb"), "old data");
  EXPECT_EQ(app.FilesIn("QzUFiles/After"), "Data.Mdb Vq.Exe");
  EXPECT_EQ(app.Read("QzUFiles/After/Vq.Exe"), "new exe");
  EXPECT_EQ(app.Read("QzUFiles/After/Data.Mdb"), "new data");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  EXPECT_TRUE(prompts.boxes.empty());

  EXPECT_FALSE(module->Forms.HasDownloadUpdate());
  auto dialog = module->Forms.InstallUpdate();
  EXPECT_TRUE(dialog->IsShown());
  EXPECT_EQ(Caption("cmdCancel"), "&Finish");
  EXPECT_EQ(Caption("lblMsg1"), "The Online Update for Vq has been installed successfully.");
  EXPECT_EQ(Caption("lblMsg2"), "Click \"Finish\" to close this updater.");
  EXPECT_FALSE(dialog->FindControl("lblMsg4")->IsVisible());
  // Waits of 5, 2 and 2 seconds and 2 more for the one database file; the first starts
  // half a second into a whole second of the clock.
  EXPECT_EQ(clock.sleptMs, 10'500);
  EXPECT_TRUE(Ends([&] { dialog->Click("cmdCancel"); }));
}

TEST_F(InstallUpdateTest, WindowsStayAliveThroughoutButACancelDoesNotInterrupt) {
  // Every pass of the window system's events reports a cancel request.
  host.onSystemEvents = [](int) { return true; };
  EXPECT_FALSE(Install());
  EXPECT_EQ(Caption("cmdCancel"), "&Finish");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  EXPECT_EQ(clock.sleptMs, 10'500);
  // Each of the 4 waits handles events every second; each extraction pass between members.
  const auto waits = host.systemEventWaits;
  EXPECT_EQ(std::count(waits.begin(), waits.end(), 0), 2);
  EXPECT_EQ(waits.size(), 2u + 11u);
}

TEST_F(InstallUpdateTest, WholeCycleFromTheCheckToFinish) {
  std::filesystem::remove_all(app / "QzUFiles");
  ArchiveMaker(updater / "VQ.Zip").Add("Vq.exe", "exe 1.3").Close();
  Publish("1.3", updater.Read("VQ.Zip"), "data 1.3");
  EXPECT_FALSE(RunMain("/Verbose"));
  auto download = module->Forms.DownloadUpdate();
  EXPECT_EQ(download->FindControl("lblMsg1")->CaptionText(),
            "The Online Update for Vq has been downloaded successfully!");
  EXPECT_FALSE(Ends([&] { download->Click("cmdIRN"); }));
  EXPECT_EQ(Caption("lblMsg1"), "The Online Update for Vq has been installed successfully.");
  EXPECT_TRUE(Ends([&] { module->Forms.InstallUpdate()->Click("cmdCancel"); }));
  EXPECT_EQ(app.Read("Vq.exe"), "exe 1.3");
  EXPECT_EQ(app.Read("Data.Mdb"), "data 1.3");
  EXPECT_EQ(app.Read("QzUFiles/Before/Vq.Exe"), "old exe");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_FALSE(module->Forms.HasInstallUpdate());
}

TEST_F(InstallUpdateTest, SecondInstallOverwritesBeforeAndAfter) {
  EXPECT_FALSE(Install());
  Stage("newer exe", "newer data");
  app.Write("VqData.Mdf", "old sse");
  app.Write("QzUFiles/VqData.Mdf", "new sse");
  clock.sleptMs = 0;
  EXPECT_FALSE(Install());
  EXPECT_EQ(app.Read("QzUFiles/Before/Vq.Exe"), "new exe");
  EXPECT_EQ(app.Read("QzUFiles/Before/Data.Mdb"), "new data");
  EXPECT_EQ(app.Read("QzUFiles/Before/VqData.Mdf"), "old sse");
  EXPECT_EQ(app.Read("QzUFiles/After/Vq.Exe"), "newer exe");
  EXPECT_EQ(app.Read("QzUFiles/After/VqData.Mdf"), "new sse");
  EXPECT_EQ(app.Read("VqData.Mdf"), "new sse");
  EXPECT_EQ(clock.sleptMs, 13'000);
}

TEST_F(InstallUpdateTest, DamagedArchiveTouchesNothingAndEmptiesTheStagingFolder) {
  std::string zip = app.Read("QzUFiles/VQ.Zip");
  zip.resize(zip.size() / 2);
  app.Write("QzUFiles/VQ.Zip", zip);
  EXPECT_TRUE(Install());
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Cannot UnCompress ...");
  EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kExclamation);
  const std::string& body = prompts.boxes[0].body;
  EXPECT_EQ(body.rfind("0\r\n", 0), 0u);
  EXPECT_GT(body.size(), std::string("0\r\n\r\n\r\n").size() + 64);
  EXPECT_NE(body.find("\r\n\r\nThis online update will be discarded. Please download it again."),
            std::string::npos);
  EXPECT_EQ(app.FilesIn(), "Data.Mdb Vq.exe");
  EXPECT_EQ(app.Read("Vq.exe"), "old exe");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  EXPECT_EQ(app.FilesIn("QzUFiles/Before"), "");
}

TEST_F(InstallUpdateTest, TooLittleFreeSpaceKeepsTheUpdateUntilThereIsRoom) {
  constexpr size_t kMiB = 1 << 20;
  app.Write("Vq.exe", std::string(2 * kMiB, 'o'));
  app.Write("Data.Mdb", std::string(1 * kMiB, 'd'));
  std::filesystem::create_directories(app / "QzUFiles");
  ArchiveMaker(app / "QzUFiles/VQ.Zip")
      .Add("bin/vq.EXE", std::string(3 * kMiB, 'n'))
      .Add("docs/ReadMe.txt", std::string(1 * kMiB, 'r'))
      .Close();
  app.Write("QzUFiles/Data.Mdb", std::string(2 * kMiB, 'D'));
  // Before 2 + 1 MiB; then the new Vq.exe 3, ReadMe.txt 1 and Data.Mdb 2 MiB wait whole
  // while the old files stay set aside (6 MiB), which is less than what they add once the
  // swap is complete (Vq.exe 1, ReadMe.txt 1, Data.Mdb 1) with the copies in After (3 + 2):
  // 11 MiB in all.
  files.freeSpace = 11 * kMiB - 1;
  EXPECT_TRUE(Install());
  EXPECT_EQ(Titles(), "Cannot Install Files ...");
  EXPECT_EQ(prompts.boxes[0].body,
            "61\r\nNot enough free space on the disk of " + app.Path() +
                ": the update needs 11 MB, 10 MB are free.\r\nThe update has been kept: it is "
                "offered again at the next start, once there is room.");
  EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kExclamation);
  EXPECT_EQ(app.Read("Vq.exe"), std::string(2 * kMiB, 'o'));
  EXPECT_EQ(app.FilesIn("QzUFiles/Before"), "");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb RemindedVersion.INF VQ.Zip Version.INF");

  // Once there is room, the next start offers the kept update and installs it.
  prompts.boxes.clear();
  files.freeSpace = 11 * kMiB;
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(module->Forms.DownloadUpdate()->FindControl("lblMsg1")->CaptionText(),
            "The Online Update for Vq has earlier been downloaded and saved.");
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_TRUE(prompts.boxes.empty()) << Titles();
  EXPECT_EQ(app.Read("Vq.exe"), std::string(3 * kMiB, 'n'));
}

TEST_F(InstallUpdateTest, CloseBoxWhileTheHostCheckYieldsKeepsTheDialogUntilFinish) {
  prompts.onDoEvents = [&](int) {
    if (module->Forms.HasInstallUpdate()) module->Forms.InstallUpdate()->CloseBox();
  };
  EXPECT_FALSE(Install());
  ASSERT_TRUE(module->Forms.HasInstallUpdate());
  EXPECT_TRUE(module->Forms.InstallUpdate()->IsShown());
  EXPECT_EQ(Caption("cmdCancel"), "&Finish");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  prompts.onDoEvents = nullptr;
  module->Forms.InstallUpdate()->CloseBox();
  EXPECT_FALSE(module->Forms.HasInstallUpdate());
}

TEST_F(InstallUpdateTest, MissingInstalledDatabaseIsInstalledWithoutABackup) {
  std::filesystem::remove(app / "Data.Mdb");
  EXPECT_FALSE(Install());
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_EQ(Caption("cmdCancel"), "&Finish");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  EXPECT_EQ(app.Read("Data.Mdb"), "new data");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  EXPECT_EQ(app.FilesIn("QzUFiles/Before"), "Vq.Exe");
  EXPECT_EQ(app.Read("QzUFiles/After/Data.Mdb"), "new data");
}

// Another program (a virus scanner) holding a file for a moment is waited out; one that
// holds it beyond the wait fails the installation as before, and nothing is lost.
TEST_F(InstallUpdateTest, AFileHeldBrieflyIsWaitedOutAndOneHeldLongerFailsAsBefore) {
  auto scanner = std::make_unique<FileHolder>(app / "Data.Mdb");
  ASSERT_TRUE(scanner->Holding());
  // The database is set aside 10.5 s into the run; the scanner lets go a second later.
  clock.onSleep = [&] {
    if (clock.sleptMs >= 11'500) scanner.reset();
  };
  EXPECT_FALSE(Install());
  clock.onSleep = nullptr;
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_EQ(clock.sleptMs, 11'500);
  EXPECT_EQ(app.Read("Data.Mdb"), "new data");
  EXPECT_EQ(app.Read("QzUFiles/Before/Data.Mdb"), "old data");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");

  Stage("newer exe", "newer data");
  scanner = std::make_unique<FileHolder>(app / "Data.Mdb");
  ASSERT_TRUE(scanner->Holding());
  clock.sleptMs = 0;
  EXPECT_TRUE(Install());
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Cannot Install Files ...");
  EXPECT_EQ(prompts.boxes[0].body, "70\r\nPermission denied");
  EXPECT_GE(clock.sleptMs, 18'000);
  EXPECT_EQ(app.Read("Data.Mdb"), "new data");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb RemindedVersion.INF VQ.Zip Version.INF");
}

// A second user's run downloading into the shared staging folder holds its temporary
// files: the clean-up leaves those to it, neither waiting for them nor failing.
TEST_F(InstallUpdateTest, TheCleanUpLeavesTemporaryFilesThatAnotherRunHolds) {
  FileHolder download(app / "QzUFiles/.Data.Mdb.staged.qztmp");
  ASSERT_TRUE(download.Holding());
  app.Write("QzUFiles/.VQ.Zip.a1b2.qztmp", "abandoned");
  EXPECT_FALSE(Install());
  EXPECT_TRUE(prompts.boxes.empty()) << Titles();
  EXPECT_EQ(Caption("cmdCancel"), "&Finish");
  EXPECT_EQ(clock.sleptMs, 10'500);
  EXPECT_EQ(app.FilesIn("QzUFiles"), ".Data.Mdb.staged.qztmp");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
}

TEST_F(InstallUpdateTest, FailedDatabaseStepKeepsTheStagedUpdate) {
  app.MakeReadOnly("Data.Mdb");
  EXPECT_TRUE(Install());
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Cannot Install Files ...");
  EXPECT_EQ(prompts.boxes[0].body, "75\r\nPath/File access error");
  // The new executable and the database files go in together or not at all.
  EXPECT_EQ(app.Read("Vq.exe"), "old exe");
  EXPECT_EQ(app.FilesIn(), "Data.Mdb Vq.exe");
  EXPECT_EQ(app.Read("Data.Mdb"), "old data");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb RemindedVersion.INF VQ.Zip Version.INF");
}

// Every rename of the swap fails in turn. The host's folder is then byte for byte as before,
// the database files included (a replaced file is back, a new one gone), nothing of the
// swap is left behind, and the update is kept for another try.
TEST_F(InstallUpdateTest, AFailureAtAnyRenameOfTheSwapLeavesTheFolderAsItWas) {
  auto prepare = [&] {
    std::filesystem::remove_all(app.Path());
    InstallVersion("1.2");
    app.Write("Vq.exe", "old exe");
    app.Write("Data.Mdb", "old data");
    app.Write("VqData.Mdf", "old sse");
    Stage("new exe", "new data");
    app.Write("QzUFiles/VqData.Mdf", "new sse");
  };
  auto hostFiles = [&] {
    std::string all;
    for (const auto& entry : std::filesystem::directory_iterator(app.Path())) {
      if (entry.is_regular_file())
        all += entry.path().filename().string() + "=" + app.Read(entry.path().filename().string()) +
               ";";
    }
    return all;
  };
  prepare();
  const std::string old = hostFiles();
  int failAt = 0;
  int renames = 0;
  files.beforeRename = [&](const std::string&, const std::string&) {
    if (++renames == failAt) throw Error(Error::kPathFileAccess, "injected");
  };
  for (failAt = 1;; ++failAt) {
    prepare();
    renames = 0;
    prompts.boxes.clear();
    const bool ended = Install();
    if (renames < failAt) {
      EXPECT_FALSE(ended);
      break;
    }
    SCOPED_TRACE("rename " + std::to_string(failAt) + " failed");
    EXPECT_TRUE(ended);
    EXPECT_EQ(Titles(), "Cannot Install Files ...");
    EXPECT_EQ(hostFiles(), old);
    EXPECT_EQ(app.FilesIn("QzUFiles"),
              "Data.Mdb RemindedVersion.INF VQ.Zip Version.INF VqData.Mdf");
    EXPECT_EQ(app.FilesIn("QzUFiles/Install"), "");
  }
  // Vq.exe, Data.Mdb and VqData.Mdf each set aside and replaced, ReadMe.txt new.
  EXPECT_EQ(failAt, 8);
  EXPECT_EQ(app.FilesIn(), "Data.Mdb ReadMe.txt Vq.exe VqData.Mdf");
  EXPECT_EQ(app.Read("VqData.Mdf"), "new sse");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  EXPECT_EQ(app.FilesIn("QzUFiles/After"), "Data.Mdb Vq.Exe VqData.Mdf");
}

// A run killed in the middle of the swap leaves its journal: the next start undoes a swap
// that was not complete and finishes one that was, before it offers the staged update.
TEST_F(InstallUpdateTest, TheNextStartUndoesOrFinishesASwapThatAKilledRunLeftHalfDone) {
  const std::string journal = "QzUFiles/InstallJournal.INF";
  const std::string entries =
      "File=Data.Mdb\tData.Mdb\t.Data.Mdb.aside1.qztmp\r\n"
      "File=vq.EXE\tVq.exe\t.Vq.exe.aside1.qztmp\r\n"
      "File=ReadMe.txt\tReadMe.txt\t\r\n";
  // Killed after Data.Mdb and ReadMe.txt went in and Vq.exe was set aside.
  auto halfDone = [&](const std::string& state) {
    std::filesystem::remove(app / "Vq.exe");
    std::filesystem::remove(app / "Data.Mdb");
    app.Write(".Vq.exe.aside1.qztmp", "old exe");
    app.Write(".Data.Mdb.aside1.qztmp", "old data");
    app.Write("Data.Mdb", "new data");
    app.Write("ReadMe.txt", "read me");
    app.Write("QzUFiles/Install/vq.EXE", "new exe");
    app.Write(journal, "[QzUpdate install]\r\nState=" + state + "\r\n" + entries);
  };
  halfDone("Swapping");
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_TRUE(module->Forms.HasDownloadUpdate());
  EXPECT_EQ(app.FilesIn(), "Data.Mdb Vq.exe");
  EXPECT_EQ(app.Read("Vq.exe"), "old exe");
  EXPECT_EQ(app.Read("Data.Mdb"), "old data");
  EXPECT_EQ(app.FilesIn("QzUFiles/Install"), "");
  EXPECT_FALSE(app.Exists(journal));

  // Complete: every new file is in, only the set-aside ones and the journal remain.
  halfDone("Complete");
  app.Write("Vq.exe", "new exe");
  std::filesystem::remove(app / "QzUFiles/Install/vq.EXE");
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(app.FilesIn(), "Data.Mdb ReadMe.txt Vq.exe");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  EXPECT_FALSE(app.Exists(journal));

  // A set-aside file that a running program held (the updater that replaced itself) goes at
  // a later start, once it is free; one still held stays.
  app.Write(".qzupdate.aside1.qztmp", "old updater");
  app.Write(".unzip32.dll.aside1.qztmp", "old library");
  FileHolder holder(app / ".unzip32.dll.aside1.qztmp");
  ASSERT_TRUE(holder.Holding());
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_FALSE(app.Exists(".qzupdate.aside1.qztmp"));
  EXPECT_TRUE(app.Exists(".unzip32.dll.aside1.qztmp"));
  EXPECT_TRUE(prompts.boxes.empty()) << Titles();
}

TEST_F(InstallUpdateTest, DiscardWithAFileHeldOpenReportsIt) {
  EXPECT_FALSE(RunMain("/Verbose"));
  FileHolder holder(app / "QzUFiles/Data.Mdb");
  ASSERT_TRUE(holder.Holding());
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdDRN"); }));
  EXPECT_EQ(Titles(), "Cannot Delete Files ...");
  EXPECT_EQ(prompts.boxes[0].body, "70\r\nPermission denied");
  EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kExclamation);
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb");
}

TEST_F(InstallUpdateTest, StaleLockFileIsDeletedWithoutAQuestion) {
  app.Write("Config.ldb", "stale");
  EXPECT_FALSE(Install());
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_FALSE(app.Exists("Config.ldb"));
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
}

TEST_F(InstallUpdateTest, HeldLockFileAsksUntilTheHostIsClosedThenRetryInstalls) {
  FileHolder host(app / "Config.ldb");
  ASSERT_TRUE(host.Holding());
  prompts.onMsgBox = [&](const ScriptedPrompts::Shown& box) {
    if (prompts.boxes.size() == 2) host.Release();
    EXPECT_EQ(box.title, "Already Running ...");
  };
  EXPECT_FALSE(Install());
  ASSERT_EQ(prompts.boxes.size(), 2u);
  EXPECT_EQ(prompts.boxes[0].style, kRetryCancel | kExclamation);
  EXPECT_EQ(prompts.boxes[0].body,
            "Vq is already running on this computer, or any other computer\r\nattached to it "
            "through a network.\r\n\r\nYou must close it before you can intall a new "
            "update.\r\n\r\n\r\nPlease close it and then click \"Retry\" to install "
            "update.\r\n\r\nClick \"Cancel\" to abort and install update later on.");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  EXPECT_EQ(clock.sleptMs, 10'500 + 2 * 2'000);
}

TEST_F(InstallUpdateTest, CancelWhileTheHostRunsLeavesEveryFileAsItWas) {
  FileHolder host(app / "Config.ldb");
  ASSERT_TRUE(host.Holding());
  prompts.answers.push_back(MsgBoxResult::kCancel);
  EXPECT_TRUE(Install());
  EXPECT_EQ(Titles(), "Already Running ...");
  EXPECT_EQ(app.FilesIn(), "Config.ldb Data.Mdb Vq.exe");
  EXPECT_EQ(app.Read("Vq.exe"), "old exe");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb RemindedVersion.INF VQ.Zip Version.INF");
  EXPECT_FALSE(app.Exists("QzUFiles/Before"));
  EXPECT_FALSE(app.Exists("QzUFiles/After"));
}

}  // namespace
}  // namespace qz::test

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <zip.h>

#include "dialogs/frmDownloadUpdate.h"
#include "pagedelta/PageCompanionWriter.h"
#include "platform/TemporaryFileName.h"
#include "progressbar/XP_ProgressBar.h"
#include "startup/LeftoverFiles.h"
#include "support/ArchiveMaker.h"
#include "support/ScriptedRanges.h"
#include "support/UpdaterFixture.h"

namespace qz::test {
namespace {

// Starts with a newer version on the server, so the check hands over to the download.
class DownloadUpdateTest : public UpdaterFixture {
 protected:
  DownloadUpdateTest() {
    InstallVersion("1.2");
    Publish("1.3", "archive bytes", "jet bytes");
    server.Put(ServerPath("VqData.TXT"), "sse bytes");
    // The bar's value at each yield tells when the download steps ran.
    prompts.onDoEvents = [this](int) {
      if (module && module->Forms.HasDownloadUpdate()) {
        barAtYields.push_back(module->Forms.DownloadUpdate()->ProgressBar().Value());
      }
    };
  }

  std::string Message() {
    return module->Forms.DownloadUpdate()->FindControl("lblMsg1")->CaptionText();
  }

  std::vector<int32_t> barAtYields;
};

TEST_F(DownloadUpdateTest, TwoDownloadsWithoutAnSseDatabase) {
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb VQ.Zip Version.INF");
  EXPECT_EQ(app.Read("QzUFiles/VQ.Zip"), "archive bytes");
  EXPECT_EQ(app.Read("QzUFiles/Data.Mdb"), "jet bytes");
  EXPECT_FALSE(Requested("VqData.TXT"));
  EXPECT_EQ(barAtYields, (std::vector<int32_t>{20, 20, 60, 100}));
  EXPECT_EQ(Message(), "The Online Update for Vq has been downloaded successfully!");
  auto dialog = module->Forms.DownloadUpdate();
  EXPECT_TRUE(dialog->IsShown());
  EXPECT_TRUE(dialog->FindControl("cmdIRN")->IsVisible());
  EXPECT_FALSE(dialog->FindControl("ProgressBar")->IsVisible());
}

TEST_F(DownloadUpdateTest, ThreeDownloadsWithAnSseDatabase) {
  app.Write("VqData.Mdf", "old sse");
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb VQ.Zip Version.INF VqData.Mdf");
  EXPECT_EQ(app.Read("QzUFiles/VqData.Mdf"), "sse bytes");
  EXPECT_EQ(barAtYields, (std::vector<int32_t>{20, 20, 60, 80, 100}));
}

TEST_F(DownloadUpdateTest, VerboseDownloadShowsTheBarInPlaceOfTheChoices) {
  std::vector<std::string> seen;
  prompts.onDoEvents = [&](int count) {
    if (count != 3) return;  // the first yield of the download, after two of the check
    auto dialog = module->Forms.DownloadUpdate();
    seen.push_back(dialog->FindControl("lblMsg1")->CaptionText());
    EXPECT_TRUE(dialog->IsShown());
    EXPECT_FALSE(dialog->FindControl("cmdIRN")->IsVisible());
    EXPECT_FALSE(dialog->FindControl("lblMsg2")->IsVisible());
    EXPECT_TRUE(dialog->FindControl("ProgressBar")->IsVisible());
    EXPECT_EQ(dialog->FindControl("ProgressBar")->Top(), dialog->FindControl("cmdIRN")->Top());
  };
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(seen,
            std::vector<std::string>{"Downloading Update. Please wait for a few minutes ..."});
  EXPECT_EQ(prompts.busyHistory, (std::vector<bool>{true, false, true, false, true, false}));
}

TEST_F(DownloadUpdateTest, FailedArchiveDownloadInQuietModeLeavesNoStagingFiles) {
  app.Write("QzUFiles/After/Vq.Exe", "after");
  app.Write("QzUFiles/Before/Vq.Exe", "before");
  app.Write("QzUFiles/RemindedVersion.INF", "ApplicationVersion=1.0\r\n");
  server.Fail(ServerPath("VQ.Zip"), 500);
  for (const char* mode : {"/Silent", "plain"}) {
    EXPECT_TRUE(RunMain(mode));
    EXPECT_EQ(app.FilesIn("QzUFiles"), "");
    EXPECT_EQ(app.Read("QzUFiles/After/Vq.Exe"), "after");
    EXPECT_EQ(app.Read("QzUFiles/Before/Vq.Exe"), "before");
  }
  EXPECT_TRUE(prompts.boxes.empty());
  for (const auto& event : host.events) EXPECT_EQ(event.rfind("Show", 0), std::string::npos);
}

TEST_F(DownloadUpdateTest, FailedJetDownloadInVerboseModeDeletesTheArchiveToo) {
  server.Fail(ServerPath("Data.TXT"), 404);
  EXPECT_TRUE(RunMain("/Verbose"));
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Oops ...");
  EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kCritical);
  EXPECT_EQ(prompts.boxes[0].body,
            "There has been an Error 404 while downloading the Jet database file.\r\n\r\nCheck "
            "your Internet connection and try again.");
  EXPECT_FALSE(module->Forms.HasDownloadUpdate());
}

TEST_F(DownloadUpdateTest, FailedSseDownloadNamesTheSseFileWithANegativeCode) {
  app.Write("VqData.Mdf", "old sse");
  // A connection that closes before any answer fails the transfer itself.
  server.Route(ServerPath("VqData.TXT"), [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(100, "application/octet-stream",
                                  [](size_t, size_t, httplib::DataSink&) { return false; });
  });
  EXPECT_TRUE(RunMain("/Verbose"));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].body.rfind("There has been an Error -", 0), 0u);
  EXPECT_NE(prompts.boxes[0].body.find(" while downloading the SSE database file."),
            std::string::npos);
  EXPECT_EQ(app.Read("VqData.Mdf"), "old sse");
}

TEST_F(DownloadUpdateTest, NewDownloadReplacesEarlierStagingFiles) {
  app.Write("QzUFiles/data.mdb", "stale data");
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(app.FilesIn("QzUFiles"), "VQ.Zip Version.INF data.mdb");
  EXPECT_EQ(app.Read("QzUFiles/data.mdb"), "jet bytes");
}

TEST_F(DownloadUpdateTest, CancelBetweenDownloadsLeavesNoArchiveToOffer) {
  prompts.onDoEvents = [this](int count) {
    // Yields: two of the check, one after the bar is at 20, one before each download.
    if (count == 5) module->Forms.DownloadUpdate()->Click("cmdCancel");
  };
  EXPECT_TRUE(RunMain("/Verbose"));
  EXPECT_FALSE(module->Forms.HasDownloadUpdate());
  EXPECT_FALSE(app.Exists("QzUFiles/VQ.Zip"));
  EXPECT_FALSE(app.Exists("QzUFiles/Data.Mdb"));

  // The next start checks and downloads again, and the half-done download is gone.
  prompts.onDoEvents = nullptr;
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(Message(), "The Online Update for Vq has been downloaded successfully!");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb VQ.Zip Version.INF");
  EXPECT_EQ(app.Read("QzUFiles/VQ.Zip"), "archive bytes");
}

TEST_F(DownloadUpdateTest, TheBarMovesWithTheBytesWithinEachStep) {
  if (UnderWine()) GTEST_SKIP() << "Wine's WinHTTP read waits to fill its 64 KiB buffer";
  Publish("1.3", std::string(60'000, 'z'), std::string(30'000, 'j'));
  server.LimitRate(100'000);
  std::vector<int32_t> seen;
  host.onSystemEvents = [&](int) {
    if (module->Forms.HasDownloadUpdate()) {
      seen.push_back(module->Forms.DownloadUpdate()->ProgressBar().Value());
    }
    return false;
  };
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  auto within = [&](int32_t low, int32_t high) {
    return std::count_if(seen.begin(), seen.end(),
                         [&](int32_t value) { return value > low && value < high; });
  };
  EXPECT_GE(within(20, 60), 3);
  EXPECT_GE(within(60, 80), 2);
  EXPECT_EQ(within(80, 100), 0);
  // The step ends are exactly the values set when each step is complete.
  EXPECT_EQ(barAtYields, (std::vector<int32_t>{20, 20, 60, 100}));
}

TEST_F(DownloadUpdateTest, CancelDuringATransferEndsAtOnceAndLeavesNoPartOfTheUpdate) {
  Publish("1.3", std::string(20'000, 'z'), std::string(1'000'000, 'j'));
  server.LimitRate(100'000);
  int cancelledAt = 0;
  host.onSystemEvents = [&](int count) {
    if (cancelledAt == 0 && module->Forms.DownloadUpdate()->ProgressBar().Value() > 60) {
      cancelledAt = count;
    }
    return cancelledAt != 0;
  };
  EXPECT_TRUE(RunMain("/Verbose"));
  // No pass of events followed the one that saw the cancel: the transfer stopped there.
  EXPECT_EQ(static_cast<int>(host.systemEventWaits.size()), cancelledAt);
  EXPECT_TRUE(prompts.boxes.empty());
  EXPECT_FALSE(module->Forms.HasDownloadUpdate());
  // The archive had arrived whole, the Jet database was on its way: neither is offered.
  EXPECT_FALSE(app.Exists("QzUFiles/VQ.Zip"));
  EXPECT_FALSE(app.Exists("QzUFiles/Data.Mdb"));
  host.onSystemEvents = nullptr;
  server.LimitRate(0);
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_EQ(Message(), "The Online Update for Vq has been downloaded successfully!");
}

// Another user's start on the same shared folder cleans up leftovers while this run downloads.
TEST_F(DownloadUpdateTest, AnotherRunsStartSparesTheFilesOfADownloadInProgress) {
  Publish("1.3", std::string(300'000, 'z'), std::string(300'000, 'j'));
  server.LimitRate(500'000);
  auto ourFiles = [&] {
    std::vector<std::string> names = files.FileNamesIn(app / "QzUFiles");
    std::erase_if(names, [](const std::string& name) { return !TemporaryFileName::IsOurs(name); });
    return names;
  };
  // The other start's clean-up runs once, as soon as a file of ours has a name that
  // begins with `prefix`.
  auto cleanUpOnceThereIs = [&](const std::string& prefix) {
    bool done = false;
    host.onSystemEvents = [&](int) {
      for (const std::string& name : ourFiles()) {
        if (!done && name.starts_with(prefix)) {
          LeftoverFiles::DeleteIn(files, {app.Path(), app / "QzUFiles"});
          done = true;
        }
      }
      return false;
    };
    const bool ended = RunMain("plain");
    EXPECT_TRUE(done);
    return ended;
  };
  // The archive has arrived and waits under its temporary name for the Jet database: young.
  EXPECT_FALSE(cleanUpOnceThereIs(".VQ.Zip.staged.qztmp")) << Titles();
  EXPECT_EQ(app.Read("QzUFiles/VQ.Zip"), std::string(300'000, 'z'));
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdDRN"); }));

  // Files that look old are spared while their writer holds them: the archive in flight.
  std::filesystem::remove_all(app / "QzUFiles/Partial");
  app.Write("QzUFiles/Partial", "without this folder each file is written whole");
  files.ageSeconds = LeftoverFiles::kAbandonedAfterSeconds;
  EXPECT_FALSE(cleanUpOnceThereIs("..VQ.Zip.staged.qztmp.")) << Titles();
  EXPECT_EQ(app.Read("QzUFiles/VQ.Zip"), std::string(300'000, 'z'));
  EXPECT_TRUE(ourFiles().empty());
}

TEST_F(DownloadUpdateTest, AnInterruptedDownloadContinuesUnlessAnotherVersionIsPublished) {
  const std::string archive = std::string(150'000, 'a') + std::string(150'000, 'b');
  auto download = [&](const std::string& version, bool cut) {
    Publish(version, archive, "jet bytes");
    server.CutAfter(ServerPath("VQ.Zip"), cut ? archive.size() / 2 : SIZE_MAX);
    return RunMain("plain");
  };
  EXPECT_TRUE(download("1.3", true));
  EXPECT_EQ(app.Read("QzUFiles/Partial/VQ.Zip"), archive.substr(0, archive.size() / 2));
  auto rangeRequests = [&] {
    std::vector<std::string> asked = server.RangesAsked();
    // Neither whole downloads nor the tail that a delta reads its directory from resume.
    std::erase_if(asked, [](const std::string& range) {
      return range.empty() || range.rfind("bytes=-", 0) == 0;
    });
    return asked;
  };
  EXPECT_FALSE(download("1.3", false));
  EXPECT_EQ(rangeRequests(), std::vector<std::string>{"bytes=150000-"});
  EXPECT_EQ(app.Read("QzUFiles/VQ.Zip"), archive);
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdDRN"); }));

  // The same bytes, kept for 1.4, are not continued once 1.5 is published.
  EXPECT_TRUE(download("1.4", true));
  EXPECT_FALSE(download("1.5", false));
  EXPECT_EQ(rangeRequests().size(), 1u);
  EXPECT_EQ(app.Read("QzUFiles/VQ.Zip"), archive);
}

// A vendor's upload half done: the archive arrives whole, Data.TXT is missing. The archive
// waits in the partial folder, and the next start has it confirmed with one request (a 416
// naming its length, from a server that checks If-Range) instead of fetching it again.
TEST_F(DownloadUpdateTest, AnArchiveThatArrivedWholeOutlivesAFailedDatabaseDownload) {
  const std::string archive(300'000, 'z');
  Publish("1.3", archive, "jet bytes");
  server.Route(ServerPath("VQ.Zip"),
               [&](const httplib::Request& request, httplib::Response& response) {
                 const bool atTheEnd = request.get_header_value("Range") == "bytes=300000-" &&
                                       request.get_header_value("If-Range") == "\"v1\"";
                 const_cast<httplib::Request&>(request).ranges.clear();
                 response.set_header("ETag", "\"v1\"");
                 if (atTheEnd) {
                   response.status = 416;
                   response.set_header("Content-Range", "bytes */300000");
                 } else {
                   response.set_content(archive, "application/zip");
                 }
               });
  server.Fail(ServerPath("Data.TXT"), 404);
  EXPECT_TRUE(RunMain("plain"));
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  EXPECT_EQ(app.Read("QzUFiles/Partial/VQ.Zip"), archive);

  server.Put(ServerPath("Data.TXT"), "jet bytes");
  const size_t before = server.RangesAsked().size();
  EXPECT_FALSE(RunMain("plain"));
  const std::vector<std::string> paths = server.Requests();
  const std::vector<std::string> asked = server.RangesAsked();
  std::vector<std::string> archiveAsked;
  for (size_t i = before; i < asked.size(); ++i) {
    if (paths[i] == ServerPath("VQ.Zip")) archiveAsked.push_back(asked[i]);
  }
  EXPECT_EQ(archiveAsked, std::vector<std::string>{"bytes=300000-"});
  EXPECT_EQ(app.Read("QzUFiles/VQ.Zip"), archive);
  EXPECT_EQ(app.Read("QzUFiles/Data.Mdb"), "jet bytes");
  EXPECT_EQ(app.FilesIn("QzUFiles/Partial"), "ForVersion");
}

// Entries that an interrupted delta kept (up to 256 MiB) go once the whole archive arrived.
TEST_F(DownloadUpdateTest, AWholeDownloadDropsTheEntriesADeltaKept) {
  const std::string archive = std::string(150'000, 'a') + std::string(150'000, 'b');
  Publish("1.3", archive, "jet bytes");
  server.CutAfter(ServerPath("VQ.Zip"), archive.size() / 2);
  EXPECT_TRUE(RunMain("plain"));
  ASSERT_TRUE(app.Exists("QzUFiles/Partial/VQ.Zip"));
  app.Write("QzUFiles/Partial/VQ.Zip.delta", "\"v1\"\nentries of an interrupted delta");
  server.CutAfter(ServerPath("VQ.Zip"), SIZE_MAX);
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(app.Read("QzUFiles/VQ.Zip"), archive);
  EXPECT_FALSE(app.Exists("QzUFiles/Partial/VQ.Zip.delta"));
}

// The names of the members of the zip at `path`.
std::vector<std::string> MemberNames(const std::string& path) {
  std::vector<std::string> names;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, nullptr);
  if (archive == nullptr) return {"<not a zip>"};
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    names.push_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0));
  }
  zip_close(archive);
  return names;
}

TEST_F(DownloadUpdateTest, OnlyTheChangedMembersAreFetchedAndInstalled) {
  std::string library(200'000, '\0');
  uint32_t state = 1;
  for (char& byte : library) byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  app.Write("Vq.exe", "old exe");
  app.Write("HELPER.dll", library);
  TempDir scratch;
  ArchiveMaker(scratch / "VQ.Zip")
      .Add("bin/Vq.exe", "new exe")
      .Add("lib/helper.dll", library)
      .Add("New.txt", "new")
      .Close();
  Publish("1.3", scratch.Read("VQ.Zip"), "jet bytes");
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(MemberNames(app / "QzUFiles/VQ.Zip"),
            (std::vector<std::string>{"bin/Vq.exe", "New.txt"}));
  EXPECT_EQ(module->Forms.DownloadUpdate()->DeltaNote().rfind("fetched ", 0), 0u);
  std::vector<std::string> ranges = server.RangesAsked();
  std::erase(ranges, "");
  EXPECT_EQ(ranges.size(), 2u);
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_EQ(app.FilesIn(), "Data.Mdb HELPER.dll New.txt Vq.exe");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  EXPECT_EQ(app.Read("HELPER.dll"), library);
  EXPECT_EQ(app.Read("QzUFiles/After/Vq.Exe"), "new exe");

  // Nothing of the archive changed: the extraction needs a member, so the smallest comes
  // again, and the database installs.
  Publish("1.4", scratch.Read("VQ.Zip"), "jet 1.4");
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(MemberNames(app / "QzUFiles/VQ.Zip"), std::vector<std::string>{"New.txt"});
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_EQ(app.Read("Data.Mdb"), "jet 1.4");
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
}

// A delta leaves out what the installation holds. If a user changes or deletes such a
// file before the delta is installed, the whole archive would restore it: the install
// fetches those members first (signed or not, the same release), and a later start drops a
// saved delta that no longer fits and fetches the update afresh.
TEST_F(DownloadUpdateTest, FilesADeltaLeftOutThatChangeBeforeItIsInstalledAreFetched) {
  auto random = [](size_t size, uint32_t state) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
    return bytes;
  };
  const std::string library = random(200'000, 1);
  const std::string other = random(100'000, 2);
  app.Write("Vq.exe", "old exe");
  app.Write("HELPER.dll", library);
  app.Write("Other.dll", other);
  TempDir scratch;
  ArchiveMaker(scratch / "VQ.Zip")
      .Add("bin/Vq.exe", "new exe")
      .Add("lib/helper.dll", library)
      .Add("Other.dll", other)
      .Close();
  Publish("1.3", scratch.Read("VQ.Zip"), "jet bytes");
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(MemberNames(app / "QzUFiles/VQ.Zip"), std::vector<std::string>{"bin/Vq.exe"});
  app.Write("HELPER.dll", "changed by hand");
  std::filesystem::remove(app / "Other.dll");
  EXPECT_FALSE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdIRN"); }));
  EXPECT_EQ(app.FilesIn(), "Data.Mdb HELPER.dll Other.dll Vq.exe");
  EXPECT_TRUE(app.Read("HELPER.dll") == library);
  EXPECT_TRUE(app.Read("Other.dll") == other);
  EXPECT_EQ(app.Read("Vq.exe"), "new exe");
  std::string log = app.Read("QzUFiles/Log/QzUpdate.log");
  EXPECT_NE(log.find("of the 2 it left out 2 changed since: lib/helper.dll, Other.dll"),
            std::string::npos)
      << log;

  // Saved, then a left-out file changes: the next start fetches the update afresh.
  InstallVersion("1.2");
  app.Write("Vq.exe", "old exe");
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdSIL"); }));
  app.Write("Other.dll", "changed by hand");
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(MemberNames(app / "QzUFiles/VQ.Zip"),
            (std::vector<std::string>{"bin/Vq.exe", "Other.dll"}));
  log = app.Read("QzUFiles/Log/QzUpdate.log");
  EXPECT_NE(log.find("a saved update is dropped: 1 files it left as they were have changed "
                     "since, first Other.dll"),
            std::string::npos)
      << log;
}

// The log says how the server answered the delta's ranges.
TEST_F(DownloadUpdateTest, TheLogSaysHowManyRangesTheServerAnswers) {
  std::string library(200'000, '\0');
  uint32_t state = 1;
  for (char& byte : library) byte = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  app.Write("helper.dll", library);
  TempDir scratch;
  ArchiveMaker(scratch / "VQ.Zip")
      .Add("Vq.exe", "new exe")
      .Add("helper.dll", library)
      .Add("New.txt", "new")
      .Close();
  Publish("1.3", scratch.Read("VQ.Zip"), "jet bytes");
  ScriptedRanges::Script onePart;
  onePart.maxParts = 1;
  ScriptedRanges scripted(scratch.Read("VQ.Zip"), "\"v1\"", onePart);
  server.Route(ServerPath("VQ.Zip"), scripted.Handler());
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(MemberNames(app / "QzUFiles/VQ.Zip"), (std::vector<std::string>{"Vq.exe", "New.txt"}));
  const std::string log = app.Read("QzUFiles/Log/QzUpdate.log");
  EXPECT_NE(log.find("in 3 requests; the server answers at most 1 range per request"),
            std::string::npos)
      << log;
}

TEST_F(DownloadUpdateTest, AnInstalledDatabaseGetsOnlyItsChangedPagesWhereTheServerHasThem) {
  std::string old;
  for (int page = 0; page < 40; ++page) {
    std::string text;
    while (text.size() < 4096) text += "page " + std::to_string(page) + " row ";
    old += text.substr(0, 4096);
  }
  std::string jet = old;
  jet.replace(3 * 4096 + 100, 8, "changed!");
  app.Write("Data.Mdb", old);
  TempDir scratch;
  scratch.Write("Data.TXT", jet);
  PageCompanionWriter::Write(realFiles, scratch / "Data.TXT", scratch / "Data.PGZ", 4096);
  Publish("1.3", "archive bytes", jet);
  server.Put(ServerPath("Data.PGZ"), scratch.Read("Data.PGZ"));
  EXPECT_FALSE(RunMain("plain"));
  EXPECT_EQ(app.Read("QzUFiles/Data.Mdb"), jet);
  // Data.TXT is asked only for its last page, to tell that the companion is its own.
  const std::vector<std::string> paths = server.Requests();
  const std::vector<std::string> ranges = server.RangesAsked();
  for (size_t i = 0; i < paths.size(); ++i) {
    if (paths[i] == ServerPath("Data.TXT")) {
      EXPECT_EQ(ranges[i], "bytes=159744-163839");
    }
  }
  EXPECT_EQ(std::count(paths.begin(), paths.end(), ServerPath("Data.PGZ")), 3);
}

TEST_F(DownloadUpdateTest, SaveKeepsTheFilesForTheNextStart) {
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdSIL"); }));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Saved ...");
  EXPECT_EQ(prompts.boxes[0].body,
            "Update has been saved, and can be installed later on.\r\n\r\nClick OK to exit.");
  EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kInformation);
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb VQ.Zip Version.INF");

  EXPECT_FALSE(RunMain("/Silent"));
  EXPECT_EQ(Message(), "The Online Update for Vq has earlier been downloaded and saved.");
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdCancel"); }));
  EXPECT_EQ(app.FilesIn("QzUFiles"), "Data.Mdb VQ.Zip Version.INF");
}

TEST_F(DownloadUpdateTest, DiscardEmptiesTheStagingFolderButKeepsItsSubfolders) {
  app.Write("QzUFiles/Before/Vq.Exe", "before");
  app.Write("QzUFiles/RemindedVersion.INF", "ApplicationVersion=1.0\r\n");
  EXPECT_FALSE(RunMain("/Verbose"));
  EXPECT_TRUE(Ends([&] { module->Forms.DownloadUpdate()->Click("cmdDRN"); }));
  ASSERT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(prompts.boxes[0].title, "Discarded ...");
  EXPECT_EQ(prompts.boxes[0].body,
            "Currently downloaded update has been discarded.\r\n\r\nYou can check for new "
            "update any time.");
  EXPECT_EQ(app.FilesIn("QzUFiles"), "");
  EXPECT_EQ(app.Read("QzUFiles/Before/Vq.Exe"), "before");
}

}  // namespace
}  // namespace qz::test

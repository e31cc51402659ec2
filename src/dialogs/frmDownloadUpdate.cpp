#include "dialogs/frmDownloadUpdate.h"

#include <algorithm>
#include <optional>

#include "delta/DeltaDownload.h"
#include "dialogs/DialogLayouts.h"
#include "dialogs/DownloadProgress.h"
#include "dialogs/SystemEventPacer.h"
#include "dialogs/frmInstallUpdate.h"
#include "forms/FormHost.h"
#include "log/UpdateLog.h"
#include "pagedelta/PageCompanionWriter.h"
#include "pagedelta/PageDownload.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"
#include "platform/TemporaryFileName.h"
#include "platform/TransferObserverChain.h"
#include "platform/UrlServices.h"
#include "progressbar/XP_ProgressBar.h"
#include "signing/SignedUpdateCheck.h"
#include "startup/mQzUpdate.h"

namespace qz {
namespace {

// Interrupted downloads wait here for the next attempt; the clean-ups of the staging
// folder delete only the files directly in it.
const char kPartialFolder[] = "Partial";
const char kPartialVersionMark[] = "ForVersion";
constexpr size_t kPartialVersionMarkLimit = 64;
const char kRetryHint[] = "\r\n\r\nCheck your Internet connection and try again.";
const char kStagedTag[] = "staged";
const char kArchive[] = "VQ.Zip";
// Beside an archive's name in the partial folder: the entries a delta fetched so far.
const char kDeltaSuffix[] = ".delta";
// Beside a database file's name there: the changed pages fetched so far.
const char kPagesSuffix[] = ".pages";
// Beside any name there: the validator of the server's file that the part belongs to.
const char kValidatorSuffix[] = ".validator";

// The bytes of the file that a transfer saw, for the log.
class ByteCount : public TransferObserver {
 public:
  bool OnData(const char*, size_t, uint64_t received, int64_t) override {
    received_ = received;
    return true;
  }
  uint64_t Received() const { return received_; }

 private:
  uint64_t received_ = 0;
};

}  // namespace

frmDownloadUpdate::frmDownloadUpdate(mQzUpdate& module)
    : UpdaterDialog(module, DialogLayouts::DownloadUpdate()),
      bar_(std::make_unique<XP_ProgressBar>()),
      lblMsg1(Ctl("lblMsg1")),
      lblMsg2(Ctl("lblMsg2")),
      cmdIRN(Ctl("cmdIRN")),
      cmdSIL(Ctl("cmdSIL")),
      cmdDRN(Ctl("cmdDRN")),
      progressSlot_(Ctl("ProgressBar")) {
  progressSlot_.Attach(bar_.get());
}

// The bar's window calls back into the bar when it goes, so it must go first.
frmDownloadUpdate::~frmDownloadUpdate() {
  if (IsLoaded()) host_.Unload(*this);
}

void frmDownloadUpdate::Form_Load() {
  SubstituteFonts();
}

void frmDownloadUpdate::Form_Unload() {
  module_.Forms.Clear(this);
}

void frmDownloadUpdate::Click(const std::string& controlName) {
  if (controlName == "cmdIRN") {
    cmdIRN_Click();
  } else if (controlName == "cmdSIL") {
    cmdSIL_Click();
  } else if (controlName == "cmdDRN") {
    cmdDRN_Click();
  } else if (controlName == "cmdCancel") {
    cmdCancel_Click();
  }
}

std::string frmDownloadUpdate::Staging() const {
  return module_.App.ApplicationPath + "/QzUFiles";
}

void frmDownloadUpdate::SetProgress(int32_t value) {
  EnsureLoaded();
  bar_->SetValue(value);
}

void frmDownloadUpdate::DownloadUpdateFiles() {
  auto keepAlive = shared_from_this();
  if (module_.IsVerbose()) {
    lblMsg1.SetCaption("Downloading Update. Please wait for a few minutes ...");
    lblMsg2.SetVisible(false);
    cmdIRN.SetVisible(false);
    cmdSIL.SetVisible(false);
    cmdDRN.SetVisible(false);
    progressSlot_.SetTop(cmdIRN.GetTop());
    progressSlot_.SetVisible(true);
    Show();
  }
  SetProgress(20);
  Yield();
  FileSystem& files = module_.env.files;
  SkipOnError([&] { files.CreateFolder(Staging()); });
  resumable_ = PreparePartialFolder();
  DownloadFile({kArchive, kArchive, " while downloading the executable file.", 20, 60});
  SkipOnError([&] { SetProgress(60); });
  DownloadFile({"Data.Mdb", "Data.TXT", " while downloading the Jet database file.", 60, 80});
  SkipOnError([&] { SetProgress(80); });
  if (files.FileExists(module_.App.ApplicationPath + "/VqData.Mdf")) {
    DownloadFile(
        {"VqData.Mdf", "VqData.TXT", " while downloading the SSE database file.", 80, 100});
  }
  PutDownloadsInPlace();
  SkipOnError([&] { SetProgress(100); });
  SkipOnError([&] { Yield(); });
  SkipOnError([&] { ShowForm(true); });
}

void frmDownloadUpdate::DownloadFile(const Download& download) {
  Env& env = module_.env;
  SkipOnError([&] { env.prompts.SetBusyPointer(true); });
  SkipOnError([&] { Yield(); });
  const std::string url = env.baseUrl + module_.App.ApplicationName + "/" + download.serverName;
  SkipOnError([&] { env.urls.DeleteCacheEntry(url); });
  const auto check = SignedUpdateCheck(env, module_.App.ApplicationName, Staging())
                         .WatchDownload(download.serverName);
  SystemEventPacer pacer(env.forms);
  DownloadProgress progress(
      pacer, [this](int32_t value) { SkipOnError([&] { SetProgress(value); }); }, download.barFrom,
      download.barTo);
  ByteCount count;
  TransferObserverChain observers;
  observers.Add(check.get()).Add(&progress).Add(&count);
  // A delta checks its members against their signed items itself.
  TransferObserverChain deltaObservers;
  deltaObservers.Add(&progress).Add(&count);
  const int64_t started = env.clock.NowMilliseconds();
  const DeltaDownload::Result delta =
      download.stagingName == kArchive
          ? FetchChangedMembers(url, download, deltaObservers, check != nullptr)
          : FetchChangedPages(url, download, deltaObservers, check != nullptr);
  if (!deltaNote_.empty() && download.stagingName == kArchive) {
    module_.log.Event("changed members only: " + deltaNote_);
  }
  int32_t result = delta == DeltaDownload::Result::kDone ? 0 : UrlServices::kAborted;
  if (delta == DeltaDownload::Result::kFullDownload) {
    LogResumeDecision(download);
    result = resumable_ ? env.urls.ResumeToFile(url, StagedPath(download),
                                                PartialFolder() + "/" + download.stagingName,
                                                &observers, UrlServices::kNoLimit)
                        : env.urls.DownloadToFile(url, StagedPath(download), &observers);
    if (result == 0 && resumable_) {
      DropKeptEntries(download.stagingName);
      wholeArrivals_.insert(download.stagingName);
    }
  }
  module_.log.Download(url, result, count.Received(), env.clock.NowMilliseconds() - started);
  SkipOnError([&] { pacer.RethrowFailure(); });
  SkipOnError([&] { env.prompts.SetBusyPointer(false); });
  if (pacer.CancelRequested()) CancelDuringTransfer();
  if (check && delta != DeltaDownload::Result::kDone) {
    if (auto why = check->RefusalAfter(result)) DownloadRefused(*why, download);
  }
  if (result != 0) DownloadFailed(result, download);
  arrived_.push_back(download);
}

DeltaDownload::Result frmDownloadUpdate::FetchChangedMembers(const std::string& url,
                                                             const Download& download,
                                                             TransferObserver& progress,
                                                             bool checked) {
  Env& env = module_.env;
  // Bytes kept from an interrupted whole download are worth continuing.
  const std::string kept = PartialFolder() + "/" + download.stagingName;
  if (resumable_ && env.files.FileExists(kept) && env.files.FileSize(kept) > 0) {
    deltaNote_ = "an interrupted download of the whole archive continues";
    return DeltaDownload::Result::kFullDownload;
  }
  DeltaDownload delta(env.urls, env.files, module_.App.ApplicationPath);
  std::optional<SignedRelease> release;
  if (checked) {
    try {
      release = SignedUpdateCheck(env, module_.App.ApplicationName, Staging()).Release();
    } catch (const Error& error) {
      deltaNote_ = "the version information is no longer valid: " + error.Description();
      return DeltaDownload::Result::kFullDownload;
    }
    if (!release->archive) {
      deltaNote_ = "the release is signed as a whole only";
      return DeltaDownload::Result::kFullDownload;
    }
    delta.RequireSigned(*release->archive);
  }
  DeltaDownload::Outcome outcome =
      delta.Run(url, StagedPath(download), resumable_ ? kept + kDeltaSuffix : "", &progress);
  if (outcome.result == DeltaDownload::Result::kDone && !StageLeftOut(outcome.leftOut)) {
    outcome.result = DeltaDownload::Result::kFullDownload;
    outcome.reason = "the list of unchanged files cannot be staged";
  }
  deltaNote_ = outcome.result == DeltaDownload::Result::kDone
                   ? "fetched " + std::to_string(outcome.fetchedBytes) + " of " +
                         std::to_string(outcome.archiveBytes) + " bytes in " +
                         std::to_string(outcome.requests) + " requests"
                   : outcome.reason;
  deltaNote_ += HowFetched(outcome);
  return outcome.result;
}

// The install checks the members a delta left out once more, as the files may change
// before it runs; the list waits under a temporary name with the rest of the update.
bool frmDownloadUpdate::StageLeftOut(const LeftOutMembers& leftOut) {
  const Download listing{LeftOutMembers::kStagedName, LeftOutMembers::kStagedName,
                         " while downloading the executable file.", 60, 60};
  try {
    module_.env.files.WriteTextFile(StagedPath(listing), leftOut.Text());
  } catch (const Error&) {
    return false;
  }
  arrived_.push_back(listing);
  return true;
}

// What the log should know of how the server answered and what was reused.
std::string frmDownloadUpdate::HowFetched(const DeltaDownload::Outcome& outcome) {
  std::string how;
  if (outcome.keptReused) how += "; entries kept by an interrupted run were reused";
  if (outcome.oneAtATime) {
    how += "; a multipart reply was broken or refused, so ranges were asked for one at a time";
  } else if (outcome.rangesPerRequest > 0 &&
             outcome.rangesPerRequest < DeltaDownload::kRangesPerRequest) {
    how += "; the server answers at most " + std::to_string(outcome.rangesPerRequest) +
           (outcome.rangesPerRequest == 1 ? " range" : " ranges") + " per request";
  }
  return how;
}

// Entries a delta kept (up to the delta's limit in size) serve no one once the whole
// archive has arrived.
void frmDownloadUpdate::DropKeptEntries(const std::string& stagingName) {
  const std::string entries = PartialFolder() + "/" + stagingName + kDeltaSuffix;
  SkipOnError([&] {
    if (module_.env.files.FileExists(entries)) module_.env.files.DeleteFile(entries);
  });
}

DeltaDownload::Result frmDownloadUpdate::FetchChangedPages(const std::string& url,
                                                           const Download& download,
                                                           TransferObserver& progress,
                                                           bool checked) {
  Env& env = module_.env;
  auto wholeBecause = [&](const std::string& why) {
    module_.log.Event("changed pages of " + download.serverName + ": " + why +
                      "; the whole file downloads");
    return DeltaDownload::Result::kFullDownload;
  };
  const std::string installed = module_.App.ApplicationPath + "/" + download.stagingName;
  if (!env.files.FileExists(installed)) return wholeBecause("no installed file to start from");
  const std::string kept = PartialFolder() + "/" + download.stagingName;
  if (resumable_ && env.files.FileExists(kept) && env.files.FileSize(kept) > 0) {
    return wholeBecause("an interrupted download of the whole file continues");
  }
  PageDownload pages(env.urls, env.files);
  const std::string companion = PageCompanionWriter::CompanionName(download.serverName);
  if (checked) {
    std::optional<SignedRelease> release;
    try {
      release = SignedUpdateCheck(env, module_.App.ApplicationName, Staging()).Release();
    } catch (const Error& error) {
      return wholeBecause("the version information is no longer valid: " + error.Description());
    }
    const UpdateFile* file = release->Find(download.serverName);
    const UpdateFile* index = release->Find(companion);
    if (file == nullptr || index == nullptr) return wholeBecause("no signed page index");
    pages.RequireSigned(index->size, file->size, file->sha256);
  }
  const std::string companionUrl =
      url.substr(0, url.size() - download.serverName.size()) + companion;
  const PageDownload::Outcome outcome =
      pages.Run(url, companionUrl, installed, StagedPath(download),
                resumable_ ? kept + kPagesSuffix : "", &progress);
  if (outcome.result == PageDownload::Result::kCancelled) return DeltaDownload::Result::kCancelled;
  if (outcome.result == PageDownload::Result::kFullDownload) return wholeBecause(outcome.reason);
  module_.log.Event("changed pages of " + download.serverName + ": fetched " +
                    std::to_string(outcome.fetchedBytes) + " bytes in " +
                    std::to_string(outcome.requests) + " requests for " +
                    std::to_string(outcome.fileBytes) + " (" +
                    std::to_string(outcome.chunksFetched) + " chunks fetched, " +
                    std::to_string(outcome.chunksKept) + " kept)");
  return DeltaDownload::Result::kDone;
}

void frmDownloadUpdate::LogResumeDecision(const Download& download) {
  if (!resumable_) {
    module_.log.Event("no folder for interrupted downloads: " + download.serverName +
                      " downloads whole");
    return;
  }
  uint64_t kept = 0;
  const std::string partial = PartialFolder() + "/" + download.stagingName;
  SkipOnError([&] {
    kept = module_.env.files.FileExists(partial) ? module_.env.files.FileSize(partial) : 0;
  });
  module_.log.Event(kept > 0 ? "resume " + download.serverName + ": " + std::to_string(kept) +
                                   " bytes kept from an interrupted download"
                             : "no kept part of " + download.serverName + ": downloads whole");
}

// Every file waits under a temporary name until the whole update has arrived, and the
// archive takes its name last: an archive in the staging folder always means a complete
// download, which is what the next start relies on when it offers a saved update.
void frmDownloadUpdate::PutDownloadsInPlace() {
  // A list of left-out members from an earlier delta does not describe a whole archive.
  const std::string leftOut = Staging() + "/" + LeftOutMembers::kStagedName;
  if (std::none_of(arrived_.begin(), arrived_.end(), [](const Download& download) {
        return download.stagingName == LeftOutMembers::kStagedName;
      })) {
    try {
      if (module_.env.files.FileExists(leftOut)) module_.env.files.DeleteFile(leftOut);
    } catch (const Error& error) {
      DownloadFailed(error.Number(), arrived_.front());
    }
  }
  std::stable_partition(arrived_.begin(), arrived_.end(),
                        [](const Download& download) { return download.stagingName != kArchive; });
  for (const Download& download : arrived_) {
    try {
      module_.env.files.ReplaceFile(StagedPath(download), Staging() + "/" + download.stagingName);
    } catch (const Error& error) {
      DownloadFailed(error.Number(), download);
    }
  }
  arrived_.clear();
  module_.log.Event("every file of the update has arrived and is staged");
  ForgetKeptParts();
}

// Once the whole update is staged, nothing in the partial folder is worth a later run.
void frmDownloadUpdate::ForgetKeptParts() {
  FileSystem& files = module_.env.files;
  for (const std::string& name : wholeArrivals_) {
    const std::string validator = PartialFolder() + "/" + name + kValidatorSuffix;
    SkipOnError([&] {
      if (files.FileExists(validator)) files.DeleteFile(validator);
    });
  }
}

// A file that arrived whole goes back to the partial folder, beside the validator its
// download left there, so the next start confirms it with one request instead of fetching
// it again.
void frmDownloadUpdate::KeepWholeArrivals() {
  for (const Download& download : arrived_) {
    if (wholeArrivals_.count(download.stagingName) == 0) continue;
    SkipOnError([&] {
      module_.env.files.ReplaceFile(StagedPath(download),
                                    PartialFolder() + "/" + download.stagingName);
      module_.log.Event(download.serverName + " arrived whole and is kept for the next attempt");
    });
  }
}

bool frmDownloadUpdate::PreparePartialFolder() {
  FileSystem& files = module_.env.files;
  const std::string mark = PartialFolder() + "/" + kPartialVersionMark;
  // Any text that differs between published versions will do.
  const std::string version = std::to_string(module_.App.OnlineVersion);
  try {
    files.CreateFolder(PartialFolder());
    if (files.FileExists(mark) && files.ReadTextFile(mark, kPartialVersionMarkLimit) == version) {
      return true;
    }
    const std::vector<std::string> kept = files.FileNamesIn(PartialFolder());
    files.DeleteFilesIn(PartialFolder());
    // A first download, or one after complete ones, finds no part to drop.
    if (std::any_of(kept.begin(), kept.end(),
                    [](const std::string& name) { return name != kPartialVersionMark; })) {
      module_.log.Event(
          "kept parts of interrupted downloads dropped: they belong to another "
          "published version");
    }
    files.WriteTextFile(mark, version);
    return true;
  } catch (const Error&) {
    // Without the folder every file simply downloads whole.
    return false;
  }
}

std::string frmDownloadUpdate::PartialFolder() const {
  return Staging() + "/" + kPartialFolder;
}

std::string frmDownloadUpdate::StagedPath(const Download& download) const {
  return Staging() + "/" + TemporaryFileName::For(download.stagingName, kStagedTag);
}

void frmDownloadUpdate::CancelDuringTransfer() {
  module_.log.Event("download cancelled by the user; what arrived keeps its temporary name");
  KeepWholeArrivals();
  cmdCancel_Click();
}

void frmDownloadUpdate::DownloadFailed(int32_t result, const Download& download) {
  GiveUp("There has been an Error " + std::to_string(result) + download.failureWording +
         kRetryHint);
}

void frmDownloadUpdate::DownloadRefused(const std::string& why, const Download& download) {
  // Kept parts of a server or network that hands out what was not signed are not worth
  // resuming; a refused part would be resumed beyond its signed end at the next start.
  SkipOnError([&] { module_.env.files.DeleteFilesIn(PartialFolder()); });
  GiveUp("The downloaded file " + download.serverName + " is not the one its vendor signed.\r\n" +
             why + kRetryHint,
         false);
}

void frmDownloadUpdate::GiveUp(const std::string& message, bool keepWholeArrivals) {
  if (keepWholeArrivals) KeepWholeArrivals();
  module_.log.Event("download failed, staged files deleted: " + message);
  SkipOnError([&] { module_.env.files.DeleteFilesIn(Staging()); });
  if (module_.IsVerbose()) module_.env.prompts.MsgBox(message, kOkOnly | kCritical, "Oops ...");
  cmdCancel_Click();
}

void frmDownloadUpdate::ShowForm(const bool& bNewUpdate) {
  auto keepAlive = shared_from_this();
  const std::string& name = module_.App.ApplicationName;
  module_.log.Event(bNewUpdate ? "choices shown for the new download"
                               : "choices shown for the saved download");
  lblMsg1.SetCaption("The Online Update for " + name +
                     (bNewUpdate ? " has been downloaded successfully!"
                                 : " has earlier been downloaded and saved."));
  lblMsg2.SetVisible(true);
  cmdIRN.SetVisible(true);
  cmdSIL.SetVisible(true);
  cmdDRN.SetVisible(true);
  progressSlot_.SetVisible(false);
  SkipOnError([&] { Show(); });
}

void frmDownloadUpdate::cmdIRN_Click() {
  auto keepAlive = shared_from_this();
  module_.log.Event("choice: install it right now");
  Hide();
  Yield();
  module_.Forms.InstallUpdate()->Show();
  Unload();
}

void frmDownloadUpdate::cmdSIL_Click() {
  module_.log.Event("choice: save it to be installed later on");
  module_.env.prompts.MsgBox(
      "Update has been saved, and can be installed later on.\r\n\r\nClick OK to exit.",
      kOkOnly | kInformation, "Saved ...");
  cmdCancel_Click();
}

void frmDownloadUpdate::cmdDRN_Click() {
  Prompts& prompts = module_.env.prompts;
  module_.log.Event("choice: discard the download");
  try {
    module_.env.files.DeleteFilesIn(Staging());
    prompts.MsgBox(
        "Currently downloaded update has been discarded.\r\n\r\nYou can check for new update "
        "any time.",
        kOkOnly | kInformation, "Discarded ...");
  } catch (const Error& error) {
    prompts.MsgBox(std::to_string(error.Number()) + "\r\n" + error.Description(),
                   kOkOnly | kExclamation, "Cannot Delete Files ...");
  }
  cmdCancel_Click();
}

}  // namespace qz

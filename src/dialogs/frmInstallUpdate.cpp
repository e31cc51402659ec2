#include "dialogs/frmInstallUpdate.h"

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "delta/DeltaDownload.h"
#include "delta/LeftOutMembers.h"
#include "dialogs/DialogLayouts.h"
#include "dialogs/InstallSpace.h"
#include "dialogs/InstallSwap.h"
#include "dialogs/SystemEventPacer.h"
#include "platform/BusyFileRetry.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"
#include "platform/TemporaryFileName.h"
#include "platform/TransferObserver.h"
#include "signing/SignedUpdateCheck.h"
#include "signing/StreamedFileCheck.h"
#include "signing/VerifiedStaging.h"
#include "startup/LeftoverFiles.h"
#include "startup/mQzUpdate.h"
#include "unzip/CGCodeModule.h"
#include "unzip/CGUnzipFiles.h"

namespace qz {
namespace {

constexpr char kKeptUntilThereIsRoom[] =
    "The update has been kept: it is offered again at the next start, once there is room.";
constexpr char kFetchedAgainNextStart[] =
    "The update has been kept: the next start fetches what it lacks.";
// The first names of a list, for a log line.
constexpr size_t kNamesLogged = 10;

std::string NameList(const std::vector<std::string>& names) {
  std::string list;
  for (size_t i = 0; i < names.size() && i < kNamesLogged; ++i) {
    list += (i == 0 ? "" : ", ") + names[i];
  }
  if (names.size() > kNamesLogged) list += ", ...";
  return list;
}

// Keeps the windows alive while a fetch blocks; an install is never cancelled half-way.
class EventsWhileFetching : public TransferObserver {
 public:
  explicit EventsWhileFetching(SystemEventPacer& pacer) : pacer_(pacer) {}
  bool OnData(const char*, size_t, uint64_t, int64_t) override { return OnTick(); }
  bool OnTick() override {
    pacer_.HandleEventsIfDue();
    return true;
  }

 private:
  SystemEventPacer& pacer_;
};

std::string ErrorLines(const Error& error) {
  return std::to_string(error.Number()) + "\r\n" + error.Description();
}

// Sets the unzip driver's per-member call for the life of one extraction.
class MemberHook {
 public:
  explicit MemberHook(std::function<void()> call) {
    CGCodeModule::State().beforeEachMember = std::move(call);
  }
  ~MemberHook() { CGCodeModule::State().beforeEachMember = nullptr; }
  MemberHook(const MemberHook&) = delete;
  MemberHook& operator=(const MemberHook&) = delete;
};

// Hands the members of a listing run to `space` for the life of the run.
class ListingHook {
 public:
  explicit ListingHook(InstallSpace& space) {
    CGCodeModule::State().onListEntry = [&space](const std::string& name, uint32_t size,
                                                 char kind) {
      if (kind == '-') space.AddMember(name, size);
    };
  }
  ~ListingHook() { CGCodeModule::State().onListEntry = nullptr; }
  ListingHook(const ListingHook&) = delete;
  ListingHook& operator=(const ListingHook&) = delete;
};

// Whole megabytes, rounded up for what is needed and down for what is free, so the two
// figures never look equal when the space does not suffice.
std::string Megabytes(uint64_t bytes, bool roundUp) {
  constexpr uint64_t kMegabyte = 1024 * 1024;
  return std::to_string(bytes / kMegabyte + (roundUp && bytes % kMegabyte != 0 ? 1 : 0)) + " MB";
}

}  // namespace

frmInstallUpdate::frmInstallUpdate(mQzUpdate& module)
    : UpdaterDialog(module, DialogLayouts::InstallUpdate()),
      lblMsg1(Ctl("lblMsg1")),
      lblMsg2(Ctl("lblMsg2")),
      lblMsg4(Ctl("lblMsg4")),
      cmdCancel(Ctl("cmdCancel")),
      installFiles_(std::make_unique<BusyFileRetry>(
          module.env.files, module.env.clock, [this] { SkipOnError([&] { Yield(); }); },
          BusyFileRetry::Limit{})) {}

frmInstallUpdate::~frmInstallUpdate() = default;

void frmInstallUpdate::Click(const std::string& controlName) {
  if (controlName == "cmdCancel") cmdCancel_Click();
}

void frmInstallUpdate::CloseBox() {
  if (finished_) Form::CloseBox();
}

std::string frmInstallUpdate::Path(const std::string& relative) const {
  return module_.App.ApplicationPath + relative;
}

void frmInstallUpdate::Wait(int32_t seconds) {
  module_.WaitSeconds(seconds);
}

void frmInstallUpdate::Form_Load() {
  auto keepAlive = shared_from_this();
  SubstituteFonts();
  SkipOnError([&] {
    lblMsg1.SetCaption("The Online Update for " + module_.App.ApplicationName +
                       " is beeing installed ...");
  });
  SkipOnError([&] { Show(); });
  SkipOnError([&] { CheckApplicationRunning(); });
  SkipOnError([&] { InstallUpdateFiles(); });
}

void frmInstallUpdate::Form_Unload() {
  module_.Forms.Clear(this);
}

void frmInstallUpdate::CheckApplicationRunning() {
  FileSystem& files = module_.env.files;
  const std::string lockFile = Path("/Config.ldb");
  for (;;) {
    SkipOnError([&] { files.DeleteFile(lockFile); });
    SkipOnError([&] { Yield(); });
    if (!files.FileExists(lockFile)) {
      module_.log.Event("install: the host application is closed everywhere");
      return;
    }
    module_.log.Event("install: Config.ldb is held, the host application runs: asking to close it");
    const MsgBoxResult answer = module_.env.prompts.MsgBox(
        module_.App.ApplicationName +
            " is already running on this computer, or any other computer\r\n"
            "attached to it through a network.\r\n\r\n"
            "You must close it before you can intall a new update.\r\n\r\n\r\n"
            "Please close it and then click \"Retry\" to install update.\r\n\r\n"
            "Click \"Cancel\" to abort and install update later on.",
        kRetryCancel | kExclamation, "Already Running ...");
    if (answer == MsgBoxResult::kCancel) {
      module_.log.Event("install put off by the user while the host application runs");
      cmdCancel_Click();
    }
    Wait(2);
  }
}

void frmInstallUpdate::InstallUpdateFiles() {
  FileSystem& files = *installFiles_;
  SkipOnError([&] { files.CreateFolder(Path("/QzUFiles/After")); });
  SkipOnError([&] { files.CreateFolder(Path("/QzUFiles/Before")); });
  Wait(5);
  staging_ = std::make_unique<VerifiedStaging>(module_.env, module_.App.ApplicationName,
                                               Path("/QzUFiles"));
  CompleteChangedMembersArchive();
  CheckFreeSpace();
  ExtractExecutable(true);
  Wait(2);
  ExtractExecutable(false);
  staging_->Discard();
  Wait(2);
  InstallSwap swap(files, module_.App.ApplicationPath);
  try {
    StageDatabaseFile("Data.Mdb");
    StageDatabaseFile("VqData.Mdf");
    swap.Apply();
    module_.log.Event("install: every file swapped in: result 0");
    swap.Finish(module_.env.files);
    files.CopyFile(Path("/Vq.exe"), Path("/QzUFiles/After/Vq.Exe"));
    for (const std::string name : {"Data.Mdb", "VqData.Mdf"}) {
      if (!files.FileExists(Path("/QzUFiles/" + name))) continue;
      files.CopyFile(Path("/" + name), Path("/QzUFiles/After/" + name));
      module_.log.Event("install: " + name + " installed, with its backup and copy: result 0");
    }
    LeftoverFiles::EmptyFolder(files, module_.env.files, Path("/QzUFiles"));
    module_.log.Event("install: staging folder emptied; installed successfully");
    cmdCancel.SetCaption("&Finish");
    lblMsg1.SetCaption("The Online Update for " + module_.App.ApplicationName +
                       " has been installed successfully.");
    lblMsg2.SetCaption("Click \"Finish\" to close this updater.");
    lblMsg4.SetVisible(false);
    finished_ = true;
  } catch (const Error& error) {
    // Whatever the swap moved is back in place; the staged update stays for another try.
    SkipOnError([&] { files.DeleteFilesIn(WorkFolder()); });
    module_.log.Event("install failed" + ArchiveOrigin() + ": Cannot Install Files ... " +
                      ErrorLines(error));
    module_.env.prompts.MsgBox(ErrorLines(error), kOkOnly | kExclamation,
                               "Cannot Install Files ...");
    cmdCancel_Click();
  }
}

void frmInstallUpdate::CompleteChangedMembersArchive() {
  FileSystem& files = module_.env.files;
  const std::string listing = Path(std::string("/QzUFiles/") + LeftOutMembers::kStagedName);
  if (!files.FileExists(listing)) return;
  LeftOutMembers leftOut;
  std::vector<std::string> changed;
  try {
    leftOut = LeftOutMembers::Read(files, listing);
    changed = leftOut.Changed(files, module_.App.ApplicationPath);
  } catch (const Error& error) {
    DiscardUpdate(error);
  }
  module_.log.Event("install: the archive came by its changed members; of the " +
                    std::to_string(leftOut.members.size()) + " it left out " +
                    std::to_string(changed.size()) + " changed since" +
                    (changed.empty() ? "" : ": " + NameList(changed)));
  if (!changed.empty()) FetchChangedMembersAgain(leftOut);
}

void frmInstallUpdate::FetchChangedMembersAgain(const LeftOutMembers& leftOut) {
  Env& env = module_.env;
  const std::string& name = module_.App.ApplicationName;
  DeltaDownload delta(env.urls, env.files, module_.App.ApplicationPath);
  delta.RequireDirectory(leftOut.directorySha256);
  std::optional<SignedRelease> release;
  SignedUpdateCheck check(env, name, Path("/QzUFiles"));
  if (check.Enabled()) {
    try {
      release = check.Release();
    } catch (const Error& error) {
      DiscardUpdate(error);
    }
    if (!release->archive) {
      DiscardUpdate(Error(StreamedFileCheck::kHashMismatch,
                          "VQ.Zip holds only some members of a release signed as a whole."));
    }
    delta.RequireSigned(*release->archive);
  }
  const std::string fetched = Path("/QzUFiles/" + TemporaryFileName::For("VQ.Zip", "refetched"));
  const std::string fetchedList =
      Path("/QzUFiles/" + TemporaryFileName::For(LeftOutMembers::kStagedName, "refetched"));
  SystemEventPacer pacer(env.forms);
  EventsWhileFetching events(pacer);
  const DeltaDownload::Outcome outcome =
      delta.Run(env.baseUrl + name + "/VQ.Zip", fetched, "", &events);
  if (outcome.result != DeltaDownload::Result::kDone) {
    SkipOnError([&] { env.files.DeleteFile(fetched); });
    KeepUpdate(Error(Error::kInternalError,
                     "Files that this update left as they were have changed since it was "
                     "downloaded, and it cannot fetch them now: " +
                         outcome.reason + ".\r\n" + kFetchedAgainNextStart));
  }
  module_.log.Event(
      "install: the changed members fetched again: " + std::to_string(outcome.fetchedBytes) +
      " bytes in " + std::to_string(outcome.requests) + " requests");
  // The archive first: a list that still names what the new archive carries only costs a
  // needless fetch, while a new list beside the old archive would let changes through.
  try {
    env.files.WriteTextFile(fetchedList, outcome.leftOut.Text());
    env.files.ReplaceFile(fetched, Path("/QzUFiles/VQ.Zip"));
    env.files.ReplaceFile(fetchedList,
                          Path(std::string("/QzUFiles/") + LeftOutMembers::kStagedName));
  } catch (const Error& error) {
    KeepUpdate(error);
  }
}

std::string frmInstallUpdate::ArchiveOrigin() const {
  bool delta = false;
  SkipOnError([&] {
    delta =
        module_.env.files.FileExists(Path(std::string("/QzUFiles/") + LeftOutMembers::kStagedName));
  });
  return delta ? " (the archive came by its changed members)" : "";
}

void frmInstallUpdate::StageDatabaseFile(const std::string& name) {
  FileSystem& files = *installFiles_;
  const std::string staged = Path("/QzUFiles/" + name);
  const std::string installed = Path("/" + name);
  if (!files.FileExists(staged)) return;
  // A first installation of this file has nothing to back up; failing here would fail the
  // same way at every later attempt.
  if (files.FileExists(installed)) files.CopyFile(installed, Path("/QzUFiles/Before/" + name));
  staging_->CopyDatabaseFile(*installFiles_, name, WorkFolder() + "/" + name);
  Wait(2);
}

std::string frmInstallUpdate::WorkFolder() const {
  return InstallSwap(module_.env.files, module_.App.ApplicationPath).WorkFolder();
}

void frmInstallUpdate::ExtractExecutable(const bool& bTestOnly) {
  FileSystem& files = *installFiles_;
  try {
    // Whatever sat in the staging folder since the download must still be what was signed.
    if (bTestOnly) staging_->Verify(module_.App.InstalledVersion);
    if (!bTestOnly) files.CopyFile(Path("/Vq.exe"), Path("/QzUFiles/Before/Vq.Exe"));
    RunExtraction(bTestOnly);
    module_.log.Event(bTestOnly ? "install: test pass: result 0"
                                : "install: installing pass: result 0");
  } catch (const Error& error) {
    // A full disk before anything was extracted (the private copy of a signed archive in the
    // temporary folder, or the backup of Vq.exe) is no fault of the update.
    if (error.Number() == Error::kDiskFull) {
      KeepUpdate(Error(Error::kDiskFull, error.Description() + "\r\n" + kKeptUntilThereIsRoom));
    }
    module_.log.Event(std::string("install failed in the ") +
                      (bTestOnly ? "test pass" : "installing pass") + ArchiveOrigin() +
                      ", staged files deleted: " + ErrorLines(error));
    if (!bTestOnly) SkipOnError([&] { files.DeleteFilesIn(WorkFolder()); });
    DiscardUpdate(error);
  }
}

void frmInstallUpdate::DiscardUpdate(const Error& error) {
  staging_->Discard();
  if (error.Number() != VerifiedStaging::kOlderRelease) {
    module_.env.prompts.MsgBox(
        ErrorLines(error) +
            "\r\n\r\nThis online update will be discarded. Please download it "
            "again.",
        kOkOnly | kExclamation, "Cannot UnCompress ...");
  } else if (module_.IsVerbose()) {
    module_.env.prompts.MsgBox(error.Description(), kOkOnly | kExclamation,
                               VerifiedStaging::kOlderReleaseTitle);
  }
  SkipOnError([&] { module_.env.files.DeleteFilesIn(Path("/QzUFiles")); });
  cmdCancel_Click();
}

void frmInstallUpdate::RunExtraction(bool testOnly) {
  // The test pass meets every obstacle in the host's folder; the installing pass writes
  // into the work folder, from which the swap moves the files in as one unit.
  if (!testOnly) SkipOnError([&] { module_.env.files.DeleteFilesIn(WorkFolder()); });
  CGUnzipFiles unzip(module_.env.prompts, module_.env.files.ExecutableFolder());
  unzip.SetZipFileName(staging_->Archive());
  unzip.SetExtractDir(testOnly ? module_.App.ApplicationPath : WorkFolder());
  unzip.SetHonorDirectories(false);
  unzip.SetTestZip(testOnly);
  // The windows keep painting between members; a cancel request is ignored, as an
  // install is never interrupted half-way.
  SystemEventPacer pacer(module_.env.forms);
  MemberHook hook([&pacer] { pacer.HandleEventsIfDue(); });
  if (unzip.Unzip("", "") != 0) throw Error(0, unzip.GetLastMessage());
}

void frmInstallUpdate::CheckFreeSpace() {
  std::optional<std::string> shortage;
  try {
    shortage = SpaceShortage();
  } catch (const Error&) {
    // Without the figures the installation goes ahead; a full disk then fails its step.
  }
  if (shortage) KeepUpdate(Error(Error::kDiskFull, *shortage));
}

void frmInstallUpdate::KeepUpdate(const Error& error) {
  if (staging_) staging_->Discard();
  module_.log.Event("install failed" + ArchiveOrigin() +
                    ", update kept: Cannot Install Files ... " + ErrorLines(error));
  module_.env.prompts.MsgBox(ErrorLines(error), kOkOnly | kExclamation, "Cannot Install Files ...");
  cmdCancel_Click();
}

std::optional<std::string> frmInstallUpdate::SpaceShortage() {
  FileSystem& files = module_.env.files;
  InstallSpace space(files, module_.App.ApplicationPath);
  CGUnzipFiles unzip(module_.env.prompts, files.ExecutableFolder());
  unzip.SetZipFileName(Path("/QzUFiles/VQ.Zip"));
  unzip.SetExtractDir(module_.App.ApplicationPath);
  unzip.SetHonorDirectories(false);
  unzip.SetExtractList(1);
  {
    ListingHook hook(space);
    // A damaged archive is the test pass's to report, with the library's own words.
    if (unzip.Unzip("", "") != 0) return std::nullopt;
  }
  const uint64_t needed = space.Needed();
  const uint64_t available = files.FreeSpace(module_.App.ApplicationPath);
  module_.log.Event("install: free space needed " + std::to_string(needed) + " bytes, " +
                    std::to_string(available) + " bytes free");
  if (needed <= available) return std::nullopt;
  return "Not enough free space on the disk of " + module_.App.ApplicationPath +
         ": the update needs " + Megabytes(needed, true) + ", " + Megabytes(available, false) +
         " are free.\r\n" + kKeptUntilThereIsRoom;
}

}  // namespace qz

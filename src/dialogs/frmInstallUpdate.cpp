#include "dialogs/frmInstallUpdate.h"

#include <functional>
#include <utility>

#include "dialogs/DialogLayouts.h"
#include "dialogs/SystemEventPacer.h"
#include "platform/BusyFileRetry.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"
#include "signing/SignedUpdateCheck.h"
#include "startup/mQzUpdate.h"
#include "unzip/CGCodeModule.h"
#include "unzip/CGUnzipFiles.h"

namespace qz {
namespace {

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
    if (!files.FileExists(lockFile)) return;
    const MsgBoxResult answer = module_.env.prompts.MsgBox(
        module_.App.ApplicationName +
            " is already running on this computer, or any other computer\r\n"
            "attached to it through a network.\r\n\r\n"
            "You must close it before you can intall a new update.\r\n\r\n\r\n"
            "Please close it and then click \"Retry\" to install update.\r\n\r\n"
            "Click \"Cancel\" to abort and install update later on.",
        kRetryCancel | kExclamation, "Already Running ...");
    if (answer == MsgBoxResult::kCancel) cmdCancel_Click();
    Wait(2);
  }
}

void frmInstallUpdate::InstallUpdateFiles() {
  FileSystem& files = *installFiles_;
  SkipOnError([&] { files.CreateFolder(Path("/QzUFiles/After")); });
  SkipOnError([&] { files.CreateFolder(Path("/QzUFiles/Before")); });
  Wait(5);
  ExtractExecutable(true);
  Wait(2);
  ExtractExecutable(false);
  Wait(2);
  try {
    InstallDatabaseFile("Data.Mdb");
    InstallDatabaseFile("VqData.Mdf");
    files.DeleteFilesIn(Path("/QzUFiles"));
    cmdCancel.SetCaption("&Finish");
    lblMsg1.SetCaption("The Online Update for " + module_.App.ApplicationName +
                       " has been installed successfully.");
    lblMsg2.SetCaption("Click \"Finish\" to close this updater.");
    lblMsg4.SetVisible(false);
    finished_ = true;
  } catch (const Error& error) {
    module_.env.prompts.MsgBox(ErrorLines(error), kOkOnly | kExclamation,
                               "Cannot Install Files ...");
    cmdCancel_Click();
  }
}

void frmInstallUpdate::InstallDatabaseFile(const std::string& name) {
  FileSystem& files = *installFiles_;
  const std::string staged = Path("/QzUFiles/" + name);
  const std::string installed = Path("/" + name);
  if (!files.FileExists(staged)) return;
  // A first installation of this file has nothing to back up; failing here would leave
  // the new executable in place and fail the same way at every later attempt.
  if (files.FileExists(installed)) files.CopyFile(installed, Path("/QzUFiles/Before/" + name));
  files.CopyFile(staged, installed);
  Wait(2);
  files.CopyFile(installed, Path("/QzUFiles/After/" + name));
}

void frmInstallUpdate::ExtractExecutable(const bool& bTestOnly) {
  FileSystem& files = *installFiles_;
  try {
    // Whatever sat in the staging folder since the download must still be what was signed.
    if (bTestOnly) {
      SignedUpdateCheck(module_.env, module_.App.ApplicationName, Path("/QzUFiles"))
          .VerifyStagedFiles();
    }
    if (!bTestOnly) files.CopyFile(Path("/Vq.exe"), Path("/QzUFiles/Before/Vq.Exe"));
    RunExtraction(bTestOnly);
    if (!bTestOnly) files.CopyFile(Path("/Vq.exe"), Path("/QzUFiles/After/Vq.Exe"));
  } catch (const Error& error) {
    module_.env.prompts.MsgBox(
        ErrorLines(error) +
            "\r\n\r\nThis online update will be discarded. Please download it "
            "again.",
        kOkOnly | kExclamation, "Cannot UnCompress ...");
    SkipOnError([&] { files.DeleteFilesIn(Path("/QzUFiles")); });
    cmdCancel_Click();
  }
}

void frmInstallUpdate::RunExtraction(bool testOnly) {
  CGUnzipFiles unzip(module_.env.prompts, module_.env.files.ExecutableFolder());
  unzip.SetZipFileName(Path("/QzUFiles/VQ.Zip"));
  unzip.SetExtractDir(module_.App.ApplicationPath);
  unzip.SetHonorDirectories(false);
  unzip.SetTestZip(testOnly);
  // The windows keep painting between members; a cancel request is ignored, as an
  // install is never interrupted half-way.
  SystemEventPacer pacer(module_.env.forms);
  MemberHook hook([&pacer] { pacer.HandleEventsIfDue(); });
  if (unzip.Unzip("", "") != 0) throw Error(0, unzip.GetLastMessage());
  if (testOnly) CheckFreeSpace(unzip.GetTotalSize());
}

void frmInstallUpdate::CheckFreeSpace(uint64_t archiveSize) {
  FileSystem& files = module_.env.files;
  uint64_t needed = archiveSize;
  for (const char* name : {"/QzUFiles/Data.Mdb", "/QzUFiles/VqData.Mdf"}) {
    if (files.FileExists(Path(name))) needed += files.FileSize(Path(name));
  }
  const uint64_t available = files.FreeSpace(module_.App.ApplicationPath);
  if (needed > available) {
    throw Error(0, "Not enough free space on the disk of " + module_.App.ApplicationPath +
                       ": the update needs " + Megabytes(needed, true) + ", " +
                       Megabytes(available, false) + " are free.");
  }
}

}  // namespace qz

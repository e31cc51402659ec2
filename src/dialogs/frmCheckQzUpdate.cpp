#include "dialogs/frmCheckQzUpdate.h"

#include <optional>
#include <vector>

#include "delta/LeftOutMembers.h"
#include "dialogs/DialogLayouts.h"
#include "dialogs/InstallSwap.h"
#include "dialogs/frmDownloadUpdate.h"
#include "dialogs/frmNeedsNoUpdate.h"
#include "log/UpdateLog.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"
#include "platform/UrlServices.h"
#include "signing/SignedUpdateCheck.h"
#include "signing/VerifiedStaging.h"
#include "startup/InfoFile.h"
#include "startup/LeftoverFiles.h"
#include "startup/VersionToNumber.h"
#include "startup/mQzUpdate.h"

namespace qz {

frmCheckQzUpdate::frmCheckQzUpdate(mQzUpdate& module)
    : UpdaterDialog(module, DialogLayouts::CheckQzUpdate()),
      lblMsg1(Ctl("lblMsg1")),
      lblMsg3(Ctl("lblMsg3")) {}

void frmCheckQzUpdate::Form_Load() {
  SubstituteFonts();
}

void frmCheckQzUpdate::Form_Unload() {
  module_.Forms.Clear(this);
}

void frmCheckQzUpdate::Click(const std::string& controlName) {
  if (controlName == "cmdCancel") cmdCancel_Click();
}

std::string frmCheckQzUpdate::Staging() const {
  return module_.App.ApplicationPath + "/QzUFiles";
}

void frmCheckQzUpdate::Initialize() {
  auto keepAlive = shared_from_this();
  FileSystem& files = module_.env.files;
  try {
    const std::string versionFile = files.ExecutableFolder() + "/Version.INF";
    if (!files.FileExists(versionFile)) {
      Fail("No Version Info ...",
           "Version Information file was not found on this computer.\r\nCan not check for "
           "online updates.");
    }
    lblMsg1.SetCaption("Reading Application Information ...");
    if (module_.IsVerbose()) Show();
    ReadApplicationInformation(versionFile);
    module_.log.Open(module_.App.ApplicationPath);
    module_.log.Event("application " + module_.App.ApplicationName + " in " +
                      module_.App.ApplicationPath + ": installed version " + installedVersionText_ +
                      " (" + UpdateLog::Number(module_.App.InstalledVersion) +
                      "), reminded version " + UpdateLog::Number(module_.App.RemindedVersion));
    lblMsg1.SetCaption("Checking for any online updates available for " +
                       module_.App.ApplicationName);
    lblMsg3.SetCaption("Installed Version:  " + installedVersionText_);
    RecoverInterruptedInstall();
    DeleteLeftoverFiles();
    if (files.FileExists(Staging() + "/Vq.Zip") && SavedDownloadUsable()) {
      module_.log.Event("a saved update waits: offered without a check");
      Hide();
      Yield();
      module_.Forms.DownloadUpdate()->ShowForm(false);
      Unload();
      return;
    }
    DownloadVersionInfo();
  } catch (const Error& error) {
    Fail("Oops ...", "Cannot read Application Information.\r\n" + error.Description());
  }
}

void frmCheckQzUpdate::ReadApplicationInformation(const std::string& versionFile) {
  FileSystem& files = module_.env.files;
  ApplicationRecord& app = module_.App;
  InfoFile local = InfoFile::Read(files, versionFile);
  if (auto name = local.Last("ApplicationName")) app.ApplicationName = *name;
  if (auto path = local.Last("ApplicationPath")) app.ApplicationPath = *path;
  if (auto version = local.Last("ApplicationVersion")) {
    app.InstalledVersion = VersionToNumber(*version);
    installedVersionText_ = *version;
  }
  const std::string reminded = Staging() + "/RemindedVersion.INF";
  if (files.FileExists(reminded)) {
    InfoFile remindedFile = InfoFile::Read(files, reminded);
    if (auto version = remindedFile.Last("ApplicationVersion")) {
      app.RemindedVersion = VersionToNumber(*version);
    }
  }
}

// A swap that a killed run left half done is finished or undone before anything else
// reads or changes the host's folder; until that succeeds nothing else may run.
void frmCheckQzUpdate::RecoverInterruptedInstall() {
  try {
    InstallSwap(module_.env.files, module_.App.ApplicationPath).Recover();
  } catch (const Error& error) {
    Fail("Cannot Install Files ...", std::to_string(error.Number()) + "\r\n" + error.Description());
  }
}

// Killed and cancelled runs leave temporary files in the folders the updater writes to;
// once the application's folder is known, those that no run is still writing can go.
void frmCheckQzUpdate::DeleteLeftoverFiles() {
  FileSystem& files = module_.env.files;
  std::vector<std::string> folders{module_.App.ApplicationPath, Staging(), Staging() + "/Before",
                                   Staging() + "/After"};
  SkipOnError([&] { folders.push_back(files.ExecutableFolder()); });
  LeftoverFiles::DeleteIn(files, folders);
}

// The user is offered only what would install; a download that would not is of no use to
// keep, and the server is asked afresh instead. Only an older release is worth a word.
bool frmCheckQzUpdate::SavedDownloadUsable() {
  const ApplicationRecord& app = module_.App;
  if (!LeftOutMembersUnchanged()) {
    SkipOnError([&] { module_.env.files.DeleteFilesIn(Staging()); });
    return false;
  }
  SignedUpdateCheck check(module_.env, app.ApplicationName, Staging());
  if (!check.Enabled()) return true;
  try {
    const SignedRelease release = check.Release();
    VerifiedStaging::RefuseOlder(app.ApplicationName, VersionToNumber(release.applicationVersion),
                                 app.InstalledVersion);
    check.VerifyStagedFiles();
    return true;
  } catch (const Error& error) {
    if (error.Number() == VerifiedStaging::kOlderRelease && module_.IsVerbose()) {
      module_.env.prompts.MsgBox(error.Description(), kOkOnly | kExclamation,
                                 VerifiedStaging::kOlderReleaseTitle);
    }
    SkipOnError([&] { module_.env.files.DeleteFilesIn(Staging()); });
    return false;
  }
}

// A saved archive of changed members installs as the whole archive would only while the
// files it left out are still installed as they were.
bool frmCheckQzUpdate::LeftOutMembersUnchanged() {
  FileSystem& files = module_.env.files;
  const std::string listing = Staging() + "/" + LeftOutMembers::kStagedName;
  std::vector<std::string> changed;
  try {
    if (!files.FileExists(listing)) return true;
    changed = LeftOutMembers::Read(files, listing).Changed(files, module_.App.ApplicationPath);
  } catch (const Error& error) {
    module_.log.Event("a saved update is dropped: " + error.Description());
    return false;
  }
  if (changed.empty()) return true;
  module_.log.Event("a saved update is dropped: " + std::to_string(changed.size()) +
                    " files it left as they were have changed since, first " + changed.front());
  return false;
}

void frmCheckQzUpdate::DownloadVersionInfo() {
  Env& env = module_.env;
  const std::string& name = module_.App.ApplicationName;
  SkipOnError([&] { env.files.CreateFolder(Staging()); });
  SkipOnError([&] { env.prompts.SetBusyPointer(true); });
  SkipOnError([&] { Yield(); });
  const std::string url = env.baseUrl + name + "/Version.INF";
  SkipOnError([&] { env.urls.DeleteCacheEntry(url); });
  const int64_t started = env.clock.NowMilliseconds();
  const int32_t result =
      env.urls.DownloadToFile(url, Staging() + "/Version.INF", nullptr, InfoFile::kMaxSize);
  uint64_t bytes = 0;
  SkipOnError([&] { bytes = result == 0 ? env.files.FileSize(Staging() + "/Version.INF") : 0; });
  module_.log.Download(url, result, bytes, env.clock.NowMilliseconds() - started);
  SkipOnError([&] { env.prompts.SetBusyPointer(false); });
  if (result != 0) {
    Fail("No Version Info ...", "There has been an Error " + std::to_string(result) +
                                    " while downloading the version information for " + name +
                                    "\r\n\r\nCheck your Internet connection and try again.");
  }
  VerifySignature();
  CompareVersions();
}

void frmCheckQzUpdate::VerifySignature() {
  const std::string& name = module_.App.ApplicationName;
  try {
    SignedUpdateCheck(module_.env, name, Staging()).VerifyVersionInfo();
  } catch (const Error& error) {
    Fail("No Version Info ...", "The version information for " + name + " cannot be trusted.\r\n" +
                                    error.Description() + "\r\n\r\nNo update has been downloaded.");
  }
}

void frmCheckQzUpdate::CompareVersions() {
  ApplicationRecord& app = module_.App;
  try {
    InfoFile online = InfoFile::Read(module_.env.files, Staging() + "/Version.INF");
    const std::optional<std::string> version = online.First("ApplicationVersion");
    if (version) app.OnlineVersion = VersionToNumber(*version);
    module_.log.Event("online version " + version.value_or("(none)") + " (" +
                      UpdateLog::Number(app.OnlineVersion) + ")" +
                      (app.OnlineVersion > app.InstalledVersion ? ": newer" : ": not newer"));
    if (app.OnlineVersion > app.InstalledVersion) {
      if (module_.IsSilent() && !(app.OnlineVersion > app.RemindedVersion)) {
        module_.log.Event("not newer than the reminded version: nothing to do in silent mode");
        cmdCancel_Click();
      }
      Hide();
      Yield();
      module_.Forms.DownloadUpdate()->DownloadUpdateFiles();
      Unload();
    } else {
      if (module_.IsSilent()) cmdCancel_Click();
      Hide();
      Yield();
      module_.Forms.NeedsNoUpdate()->Show();
      Unload();
    }
  } catch (const Error& error) {
    Fail("Oops ...", "Cannot read Online Version Information.\r\n" + error.Description());
  }
}

void frmCheckQzUpdate::Fail(const std::string& title, const std::string& body) {
  module_.log.Event("check failed: " + title + " " + body);
  if (module_.IsVerbose()) module_.env.prompts.MsgBox(body, kOkOnly | kCritical, title);
  cmdCancel_Click();
}

}  // namespace qz

#include "dialogs/frmCheckQzUpdate.h"

#include "dialogs/DialogLayouts.h"
#include "dialogs/frmDownloadUpdate.h"
#include "dialogs/frmNeedsNoUpdate.h"
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
    lblMsg1.SetCaption("Checking for any online updates available for " +
                       module_.App.ApplicationName);
    lblMsg3.SetCaption("Installed Version:  " + installedVersionText_);
    DeleteLeftoverFiles();
    if (files.FileExists(Staging() + "/Vq.Zip") && SavedDownloadUsable()) {
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

// A run killed while writing leaves temporary files in the folders the updater writes to;
// they are never of use later, and once the application's folder is known they can go.
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

void frmCheckQzUpdate::DownloadVersionInfo() {
  Env& env = module_.env;
  const std::string& name = module_.App.ApplicationName;
  SkipOnError([&] { env.files.CreateFolder(Staging()); });
  SkipOnError([&] { env.prompts.SetBusyPointer(true); });
  SkipOnError([&] { Yield(); });
  const std::string url = env.baseUrl + name + "/Version.INF";
  SkipOnError([&] { env.urls.DeleteCacheEntry(url); });
  const int32_t result =
      env.urls.DownloadToFile(url, Staging() + "/Version.INF", nullptr, InfoFile::kMaxSize);
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
    if (auto version = online.First("ApplicationVersion")) {
      app.OnlineVersion = VersionToNumber(*version);
    }
    if (app.OnlineVersion > app.InstalledVersion) {
      if (module_.IsSilent() && !(app.OnlineVersion > app.RemindedVersion)) cmdCancel_Click();
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
  if (module_.IsVerbose()) module_.env.prompts.MsgBox(body, kOkOnly | kCritical, title);
  cmdCancel_Click();
}

}  // namespace qz

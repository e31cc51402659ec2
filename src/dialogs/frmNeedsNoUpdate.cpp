#include "dialogs/frmNeedsNoUpdate.h"

#include "dialogs/DialogLayouts.h"
#include "dialogs/frmDownloadUpdate.h"
#include "platform/FileSystem.h"
#include "platform/Prompts.h"
#include "signing/SignedUpdateCheck.h"
#include "signing/VerifiedStaging.h"
#include "startup/mQzUpdate.h"

namespace qz {

frmNeedsNoUpdate::frmNeedsNoUpdate(mQzUpdate& module)
    : UpdaterDialog(module, DialogLayouts::NeedsNoUpdate()), lblMsg1(Ctl("lblMsg1")) {}

void frmNeedsNoUpdate::Form_Load() {
  SubstituteFonts();
  SkipOnError([&] {
    lblMsg1.SetCaption("The Online Update currently available for " + module_.App.ApplicationName +
                       " is already installed on this computer!");
  });
}

void frmNeedsNoUpdate::Form_Unload() {
  module_.Forms.Clear(this);
}

void frmNeedsNoUpdate::Click(const std::string& controlName) {
  if (controlName == "cmdDIA") {
    cmdDIA_Click();
  } else if (controlName == "cmdCRL") {
    cmdCRL_Click();
  } else if (controlName == "cmdDNU") {
    cmdDNU_Click();
  } else if (controlName == "cmdCancel") {
    cmdCancel_Click();
  }
}

void frmNeedsNoUpdate::cmdDIA_Click() {
  auto keepAlive = shared_from_this();
  module_.log.Event("choice: download and install anyway");
  RefuseOlderRelease();
  Hide();
  Yield();
  module_.Forms.DownloadUpdate()->DownloadUpdateFiles();
  Unload();
}

void frmNeedsNoUpdate::RefuseOlderRelease() {
  const ApplicationRecord& app = module_.App;
  const std::string staging = app.ApplicationPath + "/QzUFiles";
  if (!SignedUpdateCheck(module_.env, app.ApplicationName, staging).Enabled()) return;
  try {
    VerifiedStaging::RefuseOlder(app.ApplicationName, app.OnlineVersion, app.InstalledVersion);
  } catch (const Error& error) {
    if (module_.IsVerbose()) {
      module_.env.prompts.MsgBox(error.Description(), kOkOnly | kExclamation,
                                 VerifiedStaging::kOlderReleaseTitle);
    }
    SkipOnError([&] { module_.env.files.DeleteFile(staging + "/Version.INF"); });
    cmdCancel_Click();
  }
}

void frmNeedsNoUpdate::cmdCRL_Click() {
  module_.log.Event("choice: check and remind me later on");
  cmdCancel_Click();
}

void frmNeedsNoUpdate::cmdDNU_Click() {
  FileSystem& files = module_.env.files;
  const std::string staging = module_.App.ApplicationPath + "/QzUFiles";
  module_.log.Event("choice: don't remind until the next update is published");
  SkipOnError([&] { files.DeleteFile(staging + "/RemindedVersion.INF"); });
  try {
    files.RenameFile(staging + "/Version.INF", staging + "/RemindedVersion.INF");
  } catch (const Error& error) {
    module_.env.prompts.MsgBox(std::to_string(error.Number()) + "\r\n" + error.Description(),
                               kOkOnly | kExclamation, "Cannot Markup ...");
  }
  cmdCancel_Click();
}

}  // namespace qz

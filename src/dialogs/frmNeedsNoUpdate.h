#pragma once

#include "dialogs/UpdaterDialog.h"

namespace qz {

// Tells the user that the update on offer is already installed and offers to download
// it anyway, to ask again next time, or not to remind of this version.
class frmNeedsNoUpdate : public UpdaterDialog {
 public:
  explicit frmNeedsNoUpdate(mQzUpdate& module);

  void Click(const std::string& controlName) override;

  // Download and install anyway: hands over to the download dialog. A signed build
  // reinstalls the same version only and ends the program for an older one.
  void cmdDIA_Click();
  // Remind me later: ends the program touching nothing.
  [[noreturn]] void cmdCRL_Click();
  // Don't remind until the next update: the downloaded Version.INF becomes
  // RemindedVersion.INF, which later silent checks respect; then the program ends.
  [[noreturn]] void cmdDNU_Click();

 protected:
  void Form_Load() override;
  void Form_Unload() override;

 private:
  // Ends the program, with the downloaded Version.INF deleted, when a signed build would
  // install a release older than the installed one; a word in verbose mode only.
  void RefuseOlderRelease();

  Control& lblMsg1;
};

}  // namespace qz

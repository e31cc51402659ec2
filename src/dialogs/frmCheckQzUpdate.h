#pragma once

#include "dialogs/UpdaterDialog.h"

namespace qz {

// The update check: reads what is installed, offers a download saved earlier, or
// fetches the server's Version.INF, compares versions and hands over to the next dialog.
// Visible in verbose mode only.
class frmCheckQzUpdate : public UpdaterDialog {
 public:
  explicit frmCheckQzUpdate(mQzUpdate& module);

  // Runs the whole check; returns once the next dialog's operation has returned, or
  // never (when the program ends).
  void Initialize();

  void Click(const std::string& controlName) override;

 protected:
  void Form_Load() override;
  void Form_Unload() override;

 private:
  void ReadApplicationInformation(const std::string& versionFile);
  // Ends the program with "Cannot Install Files ..." when a swap left half done by a killed
  // run cannot be finished or undone.
  void RecoverInterruptedInstall();
  void DeleteLeftoverFiles();
  // False, with the saved files discarded, when the saved download is an archive of changed
  // members whose left-out files have changed since, or a signed build finds it no longer
  // signed for this application, changed since, or older than what is installed.
  bool SavedDownloadUsable();
  bool LeftOutMembersUnchanged();
  void DownloadVersionInfo();
  // Ends the check when the downloaded Version.INF lacks the vendor's signature.
  void VerifySignature();
  void CompareVersions();
  [[noreturn]] void Fail(const std::string& title, const std::string& body);
  std::string Staging() const;

  Control& lblMsg1;
  Control& lblMsg3;
  std::string installedVersionText_;
};

}  // namespace qz

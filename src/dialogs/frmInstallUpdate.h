#pragma once

#include <memory>
#include <string>

#include "dialogs/UpdaterDialog.h"

namespace qz {

class VerifiedStaging;

// Installs the staged update while the dialog loads: waits until the host application is
// closed everywhere, tests and extracts VQ.Zip into the host's folder, installs the
// database files with backups in QzUFiles/Before and copies in QzUFiles/After, empties
// the staging folder and waits for "&Finish".
class frmInstallUpdate : public UpdaterDialog {
 public:
  explicit frmInstallUpdate(mQzUpdate& module);
  ~frmInstallUpdate() override;

  void Click(const std::string& controlName) override;
  // Ignored until the installation has finished, so that its outcome is always seen.
  void CloseBox() override;

 protected:
  void Form_Load() override;
  void Form_Unload() override;

 private:
  // Returns once Config.ldb is gone; ends the program when the user gives up.
  void CheckApplicationRunning();
  void InstallUpdateFiles();
  // Verifies the staged files and tests the archive, or backs up Vq.exe, extracts and
  // copies the new Vq.exe to After. Ends the program on any failure.
  void ExtractExecutable(const bool& bTestOnly);
  // Tells of a failed archive step, discards the update and ends the program.
  [[noreturn]] void DiscardUpdate(const Error& error);
  void RunExtraction(bool testOnly);
  // Fails unless the archive's members and the staged database files fit on the disk of
  // the host's folder, so that no step runs out of room halfway.
  void CheckFreeSpace(uint64_t archiveSize);
  // Backs up, replaces and copies one database file when the update brings it.
  void InstallDatabaseFile(const std::string& name);
  void Wait(int32_t seconds);
  std::string Path(const std::string& relative) const;

  Control& lblMsg1;
  Control& lblMsg2;
  Control& lblMsg4;
  Control& cmdCancel;
  bool finished_ = false;
  // The staged files as verified, from the test pass on.
  std::unique_ptr<VerifiedStaging> staging_;
};

}  // namespace qz

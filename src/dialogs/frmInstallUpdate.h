#pragma once

#include <memory>
#include <string>

#include "dialogs/UpdaterDialog.h"

namespace qz {

class BusyFileRetry;

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
  // Tests the archive, or backs up Vq.exe, extracts and copies the new Vq.exe to After.
  // Ends the program on any failure.
  void ExtractExecutable(const bool& bTestOnly);
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
  // The installation's changes, which wait out a file that another program (a virus
  // scanner, an indexer) holds for a moment.
  std::unique_ptr<BusyFileRetry> installFiles_;
  bool finished_ = false;
};

}  // namespace qz

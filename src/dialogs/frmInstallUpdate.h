#pragma once

#include <memory>
#include <optional>
#include <string>

#include "dialogs/UpdaterDialog.h"

namespace qz {

class VerifiedStaging;
class BusyFileRetry;
class LeftOutMembers;

// Installs the staged update while the dialog loads: waits until the host application is
// closed everywhere, tests VQ.Zip against the host's folder, extracts it into a work folder
// beside the staged database files, swaps them all into the host's folder as one unit
// (InstallSwap: on a failure nothing changes), keeps backups in QzUFiles/Before and copies
// in QzUFiles/After, empties the staging folder and waits for "&Finish".
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
  // A saved archive of changed members leaves out what the installation held when it was
  // made; a file changed or deleted since would stay so, where the whole archive restores
  // it. Such members are fetched again from the same release, before anything is written;
  // when that fails the update is kept (KeepUpdate), and the next start fetches it afresh.
  void CompleteChangedMembersArchive();
  void FetchChangedMembersAgain(const LeftOutMembers& leftOut);
  // " (the archive came by its changed members)" for a log line when it did, else "".
  std::string ArchiveOrigin() const;
  // Verifies the staged files and tests the archive, or backs up Vq.exe and extracts into
  // the work folder. Ends the program on any failure; a full disk keeps the update
  // (KeepUpdate), anything else discards it.
  void ExtractExecutable(const bool& bTestOnly);
  // Tells of a failed archive step, discards the update and ends the program.
  [[noreturn]] void DiscardUpdate(const Error& error);
  // Tells with "Cannot Install Files ..." why the installation cannot go on now, keeps the
  // staged update, which the next start offers again, and ends the program.
  [[noreturn]] void KeepUpdate(const Error& error);
  void RunExtraction(bool testOnly);
  // Ends the program with "Cannot Install Files ..." unless the installation fits on the
  // disk of the host's folder, before anything is tested or written. The sum covers what
  // InstallSpace counts: each member's and database file's growth over the file it
  // replaces, the backups and copies in QzUFiles/Before and After, and the largest write in
  // flight. The staged update stays, so the next start offers it again.
  void CheckFreeSpace();
  // The text that says how much is needed and free when the space does not suffice.
  std::optional<std::string> SpaceShortage();
  // Backs up one database file and puts the staged one, as signed, into the work folder,
  // when the update brings it.
  void StageDatabaseFile(const std::string& name);
  // Where the installing pass extracts and the database files wait for the swap.
  std::string WorkFolder() const;
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
  // The staged files as verified, from the test pass on.
  std::unique_ptr<VerifiedStaging> staging_;
};

}  // namespace qz

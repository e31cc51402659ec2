#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "delta/DeltaDownload.h"
#include "dialogs/UpdaterDialog.h"

namespace qz {

class TransferObserver;
class XP_ProgressBar;

// Downloads the update files into the staging folder with a progress bar, then offers
// to install them now, keep them for a later run, or discard them.
class frmDownloadUpdate : public UpdaterDialog {
 public:
  explicit frmDownloadUpdate(mQzUpdate& module);
  ~frmDownloadUpdate() override;

  // Downloads VQ.Zip, Data.Mdb and, where the installation has one, VqData.Mdf, then
  // shows the choices. On a failed download the program ends inside the call.
  void DownloadUpdateFiles();

  // Shows the choices: "downloaded successfully" when bNewUpdate, else "earlier been
  // downloaded and saved". Returns as soon as the dialog is shown.
  void ShowForm(const bool& bNewUpdate);

  void Click(const std::string& controlName) override;

  void cmdIRN_Click();
  [[noreturn]] void cmdSIL_Click();
  [[noreturn]] void cmdDRN_Click();

  XP_ProgressBar& ProgressBar() { return *bar_; }

  // How the archive came: what a delta fetched, or why the whole archive was downloaded;
  // empty before the archive's step. For the run's log.
  const std::string& DeltaNote() const { return deltaNote_; }

 protected:
  void Form_Load() override;
  void Form_Unload() override;

 private:
  struct Download {
    std::string stagingName;
    std::string serverName;
    std::string failureWording;
    // The bar moves from `barFrom` toward `barTo` while the file arrives.
    int32_t barFrom;
    int32_t barTo;
  };

  void DownloadFile(const Download& download);
  // Fetches only the members of the archive that the installation lacks (DeltaDownload)
  // into the download's staged name; kFullDownload when the whole archive must come. A
  // `checked` (signed) build needs the release's verified member items for it.
  DeltaDownload::Result FetchChangedMembers(const std::string& url, const Download& download,
                                            TransferObserver& progress, bool checked);
  // Fetches only the pages of a database file that the installed one lacks (PageDownload)
  // into the download's staged name; kFullDownload, with the reason in the log, when the
  // whole file must come. A `checked` (signed) build needs the companion's signed item.
  DeltaDownload::Result FetchChangedPages(const std::string& url, const Download& download,
                                          TransferObserver& progress, bool checked);
  // Ends the program after a cancel during a transfer; what had arrived still waits under
  // temporary names, so nothing of it looks like a complete update.
  [[noreturn]] void CancelDuringTransfer();
  void PutDownloadsInPlace();
  // Logs whether the file continues a kept part or downloads whole.
  void LogResumeDecision(const Download& download);
  static std::string HowFetched(const DeltaDownload::Outcome& outcome);
  // Stages the list of the members a delta left out; false when it cannot be written.
  bool StageLeftOut(const LeftOutMembers& leftOut);
  // Deletes what a delta kept of the file staged as `stagingName` (the archive) for a later run.
  void DropKeptEntries(const std::string& stagingName);
  std::string StagedPath(const Download& download) const;
  // Readies the folder that keeps interrupted downloads for the next attempt; kept parts of
  // another published version are dropped. False when there is no such folder.
  bool PreparePartialFolder();
  std::string PartialFolder() const;
  [[noreturn]] void DownloadFailed(int32_t result, const Download& download);
  [[noreturn]] void DownloadRefused(const std::string& why, const Download& download);
  // Deletes the staged files, tells the user in verbose mode and ends the program; files
  // that arrived whole wait in the partial folder unless `keepWholeArrivals` is false.
  [[noreturn]] void GiveUp(const std::string& message, bool keepWholeArrivals = true);
  void KeepWholeArrivals();
  void ForgetKeptParts();
  void SetProgress(int32_t value);
  std::string Staging() const;

  std::unique_ptr<XP_ProgressBar> bar_;
  Control& lblMsg1;
  Control& lblMsg2;
  Control& cmdIRN;
  Control& cmdSIL;
  Control& cmdDRN;
  Control& progressSlot_;
  // The files downloaded so far, in order, each still under its temporary name.
  std::vector<Download> arrived_;
  // Staging names of the files that came whole through a resumable download.
  std::set<std::string> wholeArrivals_;
  bool resumable_ = false;
  std::string deltaNote_;
};

}  // namespace qz

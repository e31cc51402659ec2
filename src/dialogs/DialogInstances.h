#pragma once

#include <memory>

namespace qz {

class frmCheckQzUpdate;
class frmDownloadUpdate;
class frmInstallUpdate;
class frmNeedsNoUpdate;
class mQzUpdate;

// The process-wide reference to each dialog's single instance: the first use creates
// it, the dialog's Form_Unload clears it, and a later use would create a fresh one.
// Returned as shared_ptr so a caller keeps the dialog alive while its code runs.
class DialogInstances {
 public:
  explicit DialogInstances(mQzUpdate& module);
  ~DialogInstances();

  std::shared_ptr<frmCheckQzUpdate> CheckQzUpdate();
  std::shared_ptr<frmNeedsNoUpdate> NeedsNoUpdate();
  std::shared_ptr<frmDownloadUpdate> DownloadUpdate();
  std::shared_ptr<frmInstallUpdate> InstallUpdate();

  // Called by each dialog's Form_Unload.
  void Clear(const frmCheckQzUpdate*) { check_.reset(); }
  void Clear(const frmNeedsNoUpdate*) { needsNo_.reset(); }
  void Clear(const frmDownloadUpdate*) { download_.reset(); }
  void Clear(const frmInstallUpdate*) { install_.reset(); }

  // Whether the instance exists right now, without creating it.
  bool HasCheckQzUpdate() const { return check_ != nullptr; }
  bool HasNeedsNoUpdate() const { return needsNo_ != nullptr; }
  bool HasDownloadUpdate() const { return download_ != nullptr; }
  bool HasInstallUpdate() const { return install_ != nullptr; }

 private:
  mQzUpdate& module_;
  std::shared_ptr<frmCheckQzUpdate> check_;
  std::shared_ptr<frmNeedsNoUpdate> needsNo_;
  std::shared_ptr<frmDownloadUpdate> download_;
  std::shared_ptr<frmInstallUpdate> install_;
};

}  // namespace qz

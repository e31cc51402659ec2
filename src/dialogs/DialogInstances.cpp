#include "dialogs/DialogInstances.h"

#include "dialogs/frmCheckQzUpdate.h"
#include "dialogs/frmDownloadUpdate.h"
#include "dialogs/frmInstallUpdate.h"
#include "dialogs/frmNeedsNoUpdate.h"

namespace qz {
namespace {

template <typename T>
std::shared_ptr<T> Instance(std::shared_ptr<T>& slot, mQzUpdate& module) {
  if (!slot) slot = std::make_shared<T>(module);
  return slot;
}

}  // namespace

DialogInstances::DialogInstances(mQzUpdate& module) : module_(module) {}

DialogInstances::~DialogInstances() = default;

std::shared_ptr<frmCheckQzUpdate> DialogInstances::CheckQzUpdate() {
  return Instance(check_, module_);
}

std::shared_ptr<frmNeedsNoUpdate> DialogInstances::NeedsNoUpdate() {
  return Instance(needsNo_, module_);
}

std::shared_ptr<frmDownloadUpdate> DialogInstances::DownloadUpdate() {
  return Instance(download_, module_);
}

std::shared_ptr<frmInstallUpdate> DialogInstances::InstallUpdate() {
  return Instance(install_, module_);
}

}  // namespace qz

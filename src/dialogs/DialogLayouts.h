#pragma once

#include "forms/FormDesign.h"

namespace qz {

// The design-time layouts of the four dialogs: caption, then every control in the order
// of the dialog's layout table, with its container, twip geometry, caption, tab index,
// font and auto-size flag. A dialog is built from its layout and changes it at run time.
class DialogLayouts {
 public:
  // "Check for Online Updates": the update check.
  static FormDesign CheckQzUpdate();
  // "Needs No Update": the online update is already installed; three choices.
  static FormDesign NeedsNoUpdate();
  // "Download Update": the progress bar while downloading, then three choices.
  static FormDesign DownloadUpdate();
  // "Install Update": the install sequence and its end.
  static FormDesign InstallUpdate();
};

}  // namespace qz

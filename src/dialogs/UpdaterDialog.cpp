#include "dialogs/UpdaterDialog.h"

#include "dialogs/DialogLayouts.h"
#include "platform/Prompts.h"
#include "startup/mQzUpdate.h"

namespace qz {

UpdaterDialog::UpdaterDialog(mQzUpdate& module, const FormDesign& design)
    : Form(module.env.forms, design), module_(module) {}

Control& UpdaterDialog::Ctl(const std::string& name) {
  return *FindControl(name);
}

void UpdaterDialog::Yield() {
  module_.env.prompts.DoEvents();
}

void UpdaterDialog::cmdCancel_Click() {
  Unload();
  module_.End();
}

}  // namespace qz

#pragma once

#include <string>

#include "forms/Form.h"
#include "platform/Error.h"

namespace qz {

class mQzUpdate;
struct FormDesign;

// What the updater's four dialogs share: the layout they are built from, the module
// they work for, the yield, and the Cancel action that ends the program.
class UpdaterDialog : public Form {
 public:
  UpdaterDialog(mQzUpdate& module, const FormDesign& design);

 protected:
  // The control of this name from the layout; the layout guarantees it exists.
  Control& Ctl(const std::string& name);

  // Lets the waiting window messages run once.
  void Yield();

  // Unloads this dialog, then ends the program; nothing after it runs.
  [[noreturn]] void cmdCancel_Click();

  // Runs `step`; a qz::Error it raises is dropped and the next step runs.
  template <typename Step>
  static void SkipOnError(Step&& step) {
    try {
      step();
    } catch (const Error&) {
      // The failing statement is skipped, as this section of the dialog asks.
    }
  }

  mQzUpdate& module_;
};

}  // namespace qz

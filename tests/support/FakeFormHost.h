#pragma once

#include <string>
#include <vector>

#include "forms/FormHost.h"

namespace qz::test {

// A form host without windows: records what the dialogs ask of it, so dialog logic can
// be tested without a display.
class FakeFormHost : public FormHost {
 public:
  void Load(Form& form) override;
  void ControlChanged(Form& form, const Control& control) override;
  void Show(Form& form) override;
  void Hide(Form& form) override;
  void Unload(Form& form) override;
  void RunUntilLastFormClosed() override {}

  // "Load <caption>", "Show <caption>", "Hide <caption>", "Unload <caption>", in order.
  std::vector<std::string> events;
  int loaded = 0;
};

}  // namespace qz::test

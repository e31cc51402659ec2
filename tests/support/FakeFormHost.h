#pragma once

#include <functional>
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
  // Counts the call and returns what onSystemEvents answers (no cancel when unset).
  bool HandleSystemEvents(int milliseconds) override;

  // "Load <caption>", "Show <caption>", "Hide <caption>", "Unload <caption>", in order.
  std::vector<std::string> events;
  int loaded = 0;
  // The waits asked of HandleSystemEvents, in milliseconds, in order.
  std::vector<int> systemEventWaits;
  // Runs at each HandleSystemEvents after it is counted; true asks to cancel.
  std::function<bool(int count)> onSystemEvents;
};

}  // namespace qz::test

#include "support/FakeFormHost.h"

#include "forms/Form.h"

namespace qz::test {

void FakeFormHost::Load(Form& form) {
  ++loaded;
  events.push_back("Load " + form.Caption());
}

void FakeFormHost::ControlChanged(Form&, const Control&) {}

void FakeFormHost::Show(Form& form) {
  events.push_back("Show " + form.Caption());
}

void FakeFormHost::Hide(Form& form) {
  events.push_back("Hide " + form.Caption());
}

void FakeFormHost::Unload(Form& form) {
  --loaded;
  events.push_back("Unload " + form.Caption());
}

bool FakeFormHost::HandleSystemEvents(int milliseconds) {
  systemEventWaits.push_back(milliseconds);
  return onSystemEvents && onSystemEvents(static_cast<int>(systemEventWaits.size()));
}

}  // namespace qz::test

#pragma once

#include <string>

#include "platform/Prompts.h"

namespace qz {

// Message boxes, the input box, the event pump and the busy pointer on Qt. Boxes are
// application-modal; a box without a title shows the application's name, as the
// platform's boxes do. Nothing here needs a display until something is shown.
class QtPrompts : public Prompts {
 public:
  MsgBoxResult MsgBox(const std::string& body, int style, const std::string& title) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
  // Without an application there are no windows and no events: nothing to do.
  void DoEvents() override;
  // The pointer is a state, not a stack: setting busy twice needs one reset.
  void SetBusyPointer(bool busy) override;

 private:
  bool busyCursorSet_ = false;
};

}  // namespace qz

#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/Prompts.h"

namespace qz::test {

// Records every prompt and answers from a script; unscripted boxes answer with their
// first button (OK, Retry or Yes) and unscripted input boxes with an empty text.
class ScriptedPrompts : public Prompts {
 public:
  struct Shown {
    std::string title;
    std::string body;
    int style;
  };

  MsgBoxResult MsgBox(const std::string& body, int style, const std::string& title) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
  void DoEvents() override;
  void SetBusyPointer(bool busy) override;

  std::vector<Shown> boxes;
  std::vector<std::string> inputPrompts;
  std::deque<MsgBoxResult> answers;
  std::deque<std::string> inputAnswers;
  int doEventsCount = 0;
  std::vector<bool> busyHistory;
  // Runs at each DoEvents, after counting it: a test can click a button here.
  std::function<void(int count)> onDoEvents;
  // Runs at each MsgBox, before it is answered.
  std::function<void(const Shown&)> onMsgBox;
};

}  // namespace qz::test

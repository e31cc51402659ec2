#include "support/ScriptedPrompts.h"

namespace qz::test {

MsgBoxResult ScriptedPrompts::MsgBox(const std::string& body, int style, const std::string& title) {
  boxes.push_back({title, body, style});
  if (onMsgBox) onMsgBox(boxes.back());
  if (!answers.empty()) {
    MsgBoxResult answer = answers.front();
    answers.pop_front();
    return answer;
  }
  switch (style & 7) {
    case kYesNoCancel:
      return MsgBoxResult::kYes;
    case kRetryCancel:
      return MsgBoxResult::kRetry;
    default:
      return MsgBoxResult::kOk;
  }
}

std::string ScriptedPrompts::InputBox(const std::string& prompt, const std::string&,
                                      const std::string&) {
  inputPrompts.push_back(prompt);
  if (inputAnswers.empty()) return {};
  std::string answer = inputAnswers.front();
  inputAnswers.pop_front();
  return answer;
}

void ScriptedPrompts::DoEvents() {
  ++doEventsCount;
  if (onDoEvents) onDoEvents(doEventsCount);
}

void ScriptedPrompts::SetBusyPointer(bool busy) {
  busyHistory.push_back(busy);
}

}  // namespace qz::test

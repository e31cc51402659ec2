#pragma once

#include <string>

#include "platform/Prompts.h"

namespace qz {

class Win32MessagePump;

// Message boxes, the input box, the message pump and the busy pointer on Win32. Boxes are
// modal to every window of the program; a box without a title shows "QzUpdate". Texts
// are converted from the ANSI code page; CR LF is a line break.
class Win32Prompts : public Prompts {
 public:
  // `pump` must outlive the prompts; it is shared with the form host.
  explicit Win32Prompts(Win32MessagePump& pump) : pump_(pump) {}

  MsgBoxResult MsgBox(const std::string& body, int style, const std::string& title) override;
  std::string InputBox(const std::string& prompt, const std::string& title,
                       const std::string& defaultText) override;
  void DoEvents() override;
  void SetBusyPointer(bool busy) override;

 private:
  Win32MessagePump& pump_;
};

}  // namespace qz

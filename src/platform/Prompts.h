#pragma once

#include <string>

namespace qz {

// Buttons and icon of a message box; combine one of each with |.
enum MsgBoxStyle : int {
  kOkOnly = 0,
  kYesNoCancel = 3,
  kRetryCancel = 5,
  kCritical = 16,
  kExclamation = 48,
  kInformation = 64,
};

// The button that closed a message box (Escape gives Cancel where there is one).
enum class MsgBoxResult { kOk = 1, kCancel = 2, kRetry = 4, kYes = 6, kNo = 7 };

// Modal prompts and the user-interface thread's message pump. Texts are 8-bit: bytes
// that are not valid UTF-8 are shown as Windows-1252; CR LF is a line break.
class Prompts {
 public:
  virtual ~Prompts() = default;

  // An application-modal message box; the first button is the default.
  virtual MsgBoxResult MsgBox(const std::string& body, int style, const std::string& title) = 0;

  // A text input box with OK and Cancel; returns the text, or empty after Cancel.
  virtual std::string InputBox(const std::string& prompt, const std::string& title,
                               const std::string& defaultText) = 0;

  // Lets the window messages that are waiting run once, then returns.
  virtual void DoEvents() = 0;

  // Switches the application-wide pointer between the busy shape and the default.
  virtual void SetBusyPointer(bool busy) = 0;
};

}  // namespace qz

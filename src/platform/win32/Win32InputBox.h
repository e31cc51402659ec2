#pragma once

#include <string>
#include <vector>

#include "platform/win32/WindowsApi.h"

namespace qz {

class Win32MessagePump;

// The input box: a small dialog of its own with the prompt, a text field, OK and Cancel,
// modal to every window of the program while it is open. Enter is OK, Esc and the close
// box are Cancel.
class Win32InputBox {
 public:
  Win32InputBox(Win32MessagePump& pump, std::wstring prompt, std::wstring title,
                std::wstring defaultText);
  ~Win32InputBox();
  Win32InputBox(const Win32InputBox&) = delete;
  Win32InputBox& operator=(const Win32InputBox&) = delete;

  // Shows the box and waits for the answer: the text after OK, empty after Cancel.
  std::wstring Run();

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void CreateControls();
  HWND AddControl(const wchar_t* windowClass, const std::wstring& text, DWORD style, int id,
                  int left, int top, int width, int height);
  void Finish(bool accepted);
  void DisableOtherWindows();
  // Disables `window` when it is another enabled, visible window; `self` is the box.
  static BOOL CALLBACK DisableIfOther(HWND window, LPARAM self);
  void EnableOtherWindows();

  Win32MessagePump& pump_;
  std::wstring prompt_;
  std::wstring title_;
  std::wstring text_;
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  HFONT font_ = nullptr;
  int dotsPerInch_ = USER_DEFAULT_SCREEN_DPI;
  bool done_ = false;
  bool accepted_ = false;
  std::vector<HWND> disabled_;
};

}  // namespace qz

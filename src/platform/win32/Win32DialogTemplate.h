#pragma once

#include "platform/win32/WindowsApi.h"

#include <vector>

namespace qz {

// An in-memory dialog template without controls: the program adds its controls as child
// windows itself, placed in pixels. A dialog window (rather than a plain window) gives
// the system's dialog manager: the default button follows the focus, Esc and Enter
// become commands, the focus comes back when the window is activated again.
class Win32DialogTemplate {
 public:
  explicit Win32DialogTemplate(DWORD style, DWORD extendedStyle = 0);

  // Creates a hidden modeless dialog from the template; `parameter` reaches the
  // procedure with WM_INITDIALOG. Returns null on failure.
  HWND Create(HWND owner, DLGPROC procedure, LPARAM parameter) const;

 private:
  std::vector<WORD> words_;
};

}  // namespace qz

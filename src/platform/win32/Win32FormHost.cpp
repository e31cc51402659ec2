#include "platform/win32/Win32FormHost.h"

#include <commctrl.h>

#include <algorithm>
#include <cwctype>

#include "forms/Form.h"
#include "platform/Error.h"
#include "platform/win32/Win32Artwork.h"
#include "platform/win32/Win32FontCache.h"
#include "platform/win32/Win32FormWindow.h"
#include "platform/win32/Win32MessagePump.h"

namespace qz {
namespace {

// The screen's resolution; the real one, as the application manifest declares the
// program aware of it.
int SystemDotsPerInch() {
  HDC screen = GetDC(nullptr);
  const int dots = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
  if (screen != nullptr) ReleaseDC(nullptr, screen);
  return dots > 0 ? dots : USER_DEFAULT_SCREEN_DPI;
}

constexpr char kCancelButton[] = "cmdCancel";

bool IsInput(const MSG& message) {
  const UINT m = message.message;
  return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
         (m >= WM_NCMOUSEMOVE && m <= WM_NCXBUTTONDBLCLK);
}

// Dragging a window by its title bar is the system's business, not the program's.
bool IsWindowMove(const MSG& message) {
  return message.message == WM_NCLBUTTONDOWN && message.wParam == HTCAPTION;
}

// The access key of a button caption ("&Cancel" has C), or 0.
wchar_t AccessKey(HWND button) {
  wchar_t caption[64] = {};
  GetWindowTextW(button, caption, 64);
  for (const wchar_t* at = caption; at[0] != 0 && at[1] != 0; ++at) {
    if (at[0] == L'&' && at[1] != L'&') return static_cast<wchar_t>(std::towupper(at[1]));
    if (at[0] == L'&') ++at;
  }
  return 0;
}

}  // namespace

Win32FormHost::Win32FormHost(Win32MessagePump& pump)
    : pump_(pump), fonts_(std::make_unique<Win32FontCache>(SystemDotsPerInch())) {
  // Loads the common controls that the manifest names, so buttons get the current look.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  artwork_ = std::make_unique<Win32Artwork>();
}

Win32FormHost::~Win32FormHost() {
  // Each window object goes with its window.
  for (auto& [form, window] : windows_) DestroyWindow(window->Handle());
}

void Win32FormHost::Load(Form& form) {
  if (windows_.count(&form) != 0) return;
  Win32FormWindow* window =
      Win32FormWindow::Create(form, Win32FormWindow::Services{pump_, *fonts_, *artwork_});
  if (window == nullptr) {
    throw Error(Error::kInvalidCall, "Cannot create the window of \"" + form.Caption() + "\"");
  }
  windows_[&form] = window;
}

void Win32FormHost::ControlChanged(Form& form, const Control& control) {
  if (Win32FormWindow* window = Find(form)) window->Apply(control);
}

void Win32FormHost::Show(Form& form) {
  if (Win32FormWindow* window = Find(form)) window->Show();
}

void Win32FormHost::Hide(Form& form) {
  if (Win32FormWindow* window = Find(form)) window->Hide();
}

void Win32FormHost::Unload(Form& form) {
  auto found = windows_.find(&form);
  if (found == windows_.end()) return;
  HWND window = found->second->Handle();
  windows_.erase(found);
  // Safe inside one of the window's own handlers: nothing there touches the window after
  // the form's code has run.
  DestroyWindow(window);
}

void Win32FormHost::RunUntilLastFormClosed() {
  pump_.RunUntil([this] { return windows_.empty(); });
}

bool Win32FormHost::HandleSystemEvents(int milliseconds) {
  if (windows_.empty() || pump_.InputBlocked()) return false;
  pump_.SetInputBlocked(true);
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(std::max(milliseconds, 0));
  MSG message;
  for (;;) {
    while (!pump_.CancelRequested() && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        break;
      }
      if (IsInput(message) && !IsWindowMove(message)) {
        if (IsCancel(message)) pump_.RequestCancel();
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    const ULONGLONG now = GetTickCount64();
    if (pump_.CancelRequested() || now >= deadline) break;
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(deadline - now), QS_ALLINPUT,
                                MWMO_INPUTAVAILABLE);
  }
  const bool cancel = pump_.CancelRequested();
  pump_.SetInputBlocked(false);
  pump_.RethrowPending();
  return cancel;
}

bool Win32FormHost::IsCancel(const MSG& message) const {
  HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  for (const auto& [form, window] : windows_) {
    if (window->Handle() != root || !IsWindowVisible(root)) continue;
    HWND cancel = window->ControlHandle(kCancelButton);
    if (cancel == nullptr || !IsWindowVisible(cancel)) return false;
    switch (message.message) {
      case WM_LBUTTONDOWN:
        return message.hwnd == cancel;
      case WM_KEYDOWN:
        return message.wParam == VK_ESCAPE;
      case WM_SYSKEYDOWN:
        return message.wParam == VK_F4 ||
               (AccessKey(cancel) != 0 && message.wParam == static_cast<WPARAM>(AccessKey(cancel)));
      case WM_NCLBUTTONDOWN:
        return message.wParam == HTCLOSE;
      default:
        return false;
    }
  }
  return false;
}

HWND Win32FormHost::WindowOf(const Form& form) const {
  Win32FormWindow* window = Find(form);
  return window != nullptr ? window->Handle() : nullptr;
}

HWND Win32FormHost::ControlWindowOf(const Form& form, const std::string& controlName) const {
  Win32FormWindow* window = Find(form);
  return window != nullptr ? window->ControlHandle(controlName) : nullptr;
}

RECT Win32FormHost::ControlRectOf(const Form& form, const std::string& controlName) const {
  Win32FormWindow* window = Find(form);
  return window != nullptr ? window->ControlRect(controlName) : RECT{0, 0, 0, 0};
}

int Win32FormHost::DotsPerInch() const {
  return fonts_->DotsPerInch();
}

Win32FormWindow* Win32FormHost::Find(const Form& form) const {
  auto found = windows_.find(&form);
  return found != windows_.end() ? found->second : nullptr;
}

}  // namespace qz

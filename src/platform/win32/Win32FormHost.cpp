#include "platform/win32/Win32FormHost.h"

#include <commctrl.h>

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

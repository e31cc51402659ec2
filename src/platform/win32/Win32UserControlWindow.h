#pragma once

#include "platform/win32/WindowsApi.h"

#include <cstdint>
#include <vector>

#include "platform/PixelCanvas.h"
#include "platform/UserControlSite.h"

namespace qz {

class UserControl;
class Win32FontCache;

// The child window of a user control on a dialog, and the control's site. It keeps the
// window's surface (the pixels the control last put there) and puts it on the screen with
// SetDIBitsToDevice, draws text with the system's text drawing in the control's font,
// shapes the window with SetWindowRgn and answers system colours from GetSysColor. Paint,
// resize and destruction are forwarded to the control; a qz::Error from the control's
// handlers is dropped, like a failed platform drawing. The object belongs to its window
// and goes with it.
class Win32UserControlWindow : public UserControlSite {
 public:
  // Creates the visible child window at `rect` (pixels in `parent`'s client area) and
  // initializes `control` with it. `control` and `fonts` must outlive the window.
  // Returns null when the window cannot be made.
  static Win32UserControlWindow* Create(HWND parent, const RECT& rect, UserControl& control,
                                        Win32FontCache& fonts);

  HWND Handle() const { return window_; }

  int32_t ClientWidth() const override;
  int32_t ClientHeight() const override;
  PixelCanvas& Surface() override;
  void ShowSurface() override;
  void SetBackColor(uint32_t color) override;
  void DrawText(PixelCanvas& target, const Rect& rect, std::string_view text,
                uint32_t color) override;
  void SetWindowRegion(const Rect& bounds, std::span<const Rect> removed) override;
  uint32_t SysColor(int32_t index) const override;

 private:
  Win32UserControlWindow(UserControl& control, Win32FontCache& fonts)
      : control_(&control), fonts_(fonts) {}
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
  void Paint();
  void Resize();
  void Detach();
  // Puts the surface on `target` at the client area's origin.
  void Present(HDC target);

  HWND window_ = nullptr;
  UserControl* control_;
  Win32FontCache& fonts_;
  PixelCanvas surface_;
  std::vector<uint32_t> shown_;  // the surface in the screen's byte order
  uint32_t backColor_ = 0xFFFFFF;
  bool painting_ = false;
};

}  // namespace qz

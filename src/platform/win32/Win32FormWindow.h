#pragma once

#include <string>
#include <vector>

#include "forms/Control.h"
#include "platform/win32/WindowsApi.h"

namespace qz {

class Form;
class Win32Artwork;
class Win32FontCache;
class Win32MessagePump;

// The top-level window of one dialog: a fixed dialog frame with a title bar and the close
// box only, the client size of the design at the screen's resolution, centred on the
// screen. Buttons and user controls are child windows in the order of their tab index
// (which is the dialog manager's tab order); the picture, the panels and the labels are
// windowless and painted by the dialog itself, picture lowest, as the design has them.
// Clicks, Esc (a click of a visible "cmdCancel") and the close box go to the form through
// the message pump. The object belongs to its window and goes with it.
class Win32FormWindow {
 public:
  struct Services {
    Win32MessagePump& pump;
    Win32FontCache& fonts;
    const Win32Artwork& artwork;
  };

  // Creates the hidden window of `form` with every control of its design; null when the
  // system cannot make the window.
  static Win32FormWindow* Create(Form& form, const Services& services);

  HWND Handle() const { return window_; }
  // The child window of a button or user control, or null.
  HWND ControlHandle(const std::string& name) const;
  // The rectangle of a control in the dialog's client area, in pixels; empty if unknown.
  RECT ControlRect(const std::string& name) const;

  // Brings the window's copy of `control` in step with it, and shows the change at once.
  void Apply(const Control& control);
  // Shows the window in front with the focus on the first control of the tab order.
  void Show();
  void Hide();

 private:
  // The window's copy of one control.
  struct Item {
    std::string name;
    ControlKind kind = ControlKind::kLabel;
    std::string container;
    int tabIndex = -1;
    RECT rect{};  // in the dialog's client area
    std::wstring caption;
    bool visible = true;
    bool autoSize = false;
    HFONT font = nullptr;
    HWND window = nullptr;
    int id = 0;
  };

  Win32FormWindow(Form& form, const Services& services);
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

  void AddItems(const Form& form);
  void CreateChildWindows(const Form& form);
  void UpdateItem(Item& item, const Control& control);
  RECT ContainerOrigin(const std::string& container) const;
  bool ShownOnScreen(const Item& item) const;
  void PlaceWindow();
  void Paint(HDC target) const;
  void PaintItems(HDC target, ControlKind kind) const;
  void Command(WORD id, WORD code);
  void Click(const std::string& name);
  void CloseBox();
  Item* Find(const std::string& name);
  const Item* Find(const std::string& name) const;

  HWND window_ = nullptr;
  Form* form_;
  Services services_;
  int dotsPerInch_;
  std::vector<Item> items_;
};

}  // namespace qz

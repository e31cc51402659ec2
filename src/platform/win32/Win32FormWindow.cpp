#include "platform/win32/Win32FormWindow.h"

#include <algorithm>
#include <memory>

#include "forms/Form.h"
#include "forms/Twips.h"
#include "platform/ControlFont.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32Artwork.h"
#include "platform/win32/Win32DialogTemplate.h"
#include "platform/win32/Win32FontCache.h"
#include "platform/win32/Win32MessagePump.h"
#include "platform/win32/Win32UserControlWindow.h"

namespace qz {
namespace {

constexpr char kCancelButton[] = "cmdCancel";
constexpr int kFirstControlId = 1000;
constexpr int kDesignDotsPerInch = 96;
constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | WS_CLIPCHILDREN;
constexpr DWORD kExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_APPWINDOW | WS_EX_CONTROLPARENT;
constexpr COLORREF kPanelColor = RGB(255, 255, 255);
// Labels sit on the white panel: black text whatever the desktop's colour scheme.
constexpr COLORREF kLabelTextColor = RGB(0, 0, 0);

bool HasWindow(ControlKind kind) {
  return kind == ControlKind::kCommandButton || kind == ControlKind::kUserControl;
}

}  // namespace

Win32FormWindow::Win32FormWindow(Form& form, const Services& services)
    : form_(&form), services_(services), dotsPerInch_(services.fonts.DotsPerInch()) {}

Win32FormWindow* Win32FormWindow::Create(Form& form, const Services& services) {
  auto* self = new Win32FormWindow(form, services);
  const Win32DialogTemplate dialog(kStyle, kExtendedStyle);
  if (dialog.Create(nullptr, &Procedure, reinterpret_cast<LPARAM>(self)) == nullptr) {
    delete self;
    return nullptr;
  }
  SetWindowTextW(self->window_, WideText::FromAnsi(form.Caption()).c_str());
  SendMessageW(self->window_, WM_SETICON, ICON_SMALL,
               reinterpret_cast<LPARAM>(services.artwork.SmallIcon()));
  SendMessageW(self->window_, WM_SETICON, ICON_BIG,
               reinterpret_cast<LPARAM>(services.artwork.LargeIcon()));
  self->AddItems(form);
  self->CreateChildWindows(form);
  self->PlaceWindow();
  return self;
}

INT_PTR CALLBACK Win32FormWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<Win32FormWindow*>(lParam);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    return FALSE;  // the focus is set when the window is shown
  }
  auto* self = reinterpret_cast<Win32FormWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return FALSE;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete self;
    return FALSE;
  }
  return self->Handle(message, wParam, lParam);
}

INT_PTR Win32FormWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC target = BeginPaint(window_, &paint);
      RECT client;
      GetClientRect(window_, &client);
      // Painted off screen and copied in one go, so that a label change does not flicker.
      HDC buffer = CreateCompatibleDC(target);
      HBITMAP bitmap = CreateCompatibleBitmap(target, client.right, client.bottom);
      HGDIOBJ old = SelectObject(buffer, bitmap);
      Paint(buffer);
      BitBlt(target, 0, 0, client.right, client.bottom, buffer, 0, 0, SRCCOPY);
      SelectObject(buffer, old);
      DeleteObject(bitmap);
      DeleteDC(buffer);
      EndPaint(window_, &paint);
      return TRUE;
    }
    case WM_PRINTCLIENT:  // themed buttons ask for what lies behind their rounded corners
      Paint(reinterpret_cast<HDC>(wParam));
      return TRUE;
    case WM_ERASEBKGND:
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CTLCOLORBTN: {
      for (const Item& item : items_) {
        if (item.window == reinterpret_cast<HWND>(lParam) && !item.container.empty()) {
          return reinterpret_cast<INT_PTR>(GetStockObject(WHITE_BRUSH));
        }
      }
      return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      if (!services_.pump.ApplyPointer()) return FALSE;
      SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_COMMAND:
      Command(LOWORD(wParam), HIWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      CloseBox();
      return TRUE;
    default:
      return FALSE;
  }
}

void Win32FormWindow::AddItems(const Form& form) {
  for (const auto& control : form.Controls()) {
    Item item;
    item.name = control->Name();
    item.kind = control->Kind();
    item.container = control->Container();
    item.tabIndex = control->TabIndex();
    item.id = kFirstControlId + static_cast<int>(items_.size());
    items_.push_back(std::move(item));
  }
  // Panels first: the others are placed relative to them.
  for (Item& item : items_) {
    if (item.kind == ControlKind::kFrame) UpdateItem(item, *form.FindControl(item.name));
  }
  for (Item& item : items_) {
    if (item.kind != ControlKind::kFrame) UpdateItem(item, *form.FindControl(item.name));
  }
}

void Win32FormWindow::CreateChildWindows(const Form& form) {
  std::vector<Item*> windowed;
  for (Item& item : items_) {
    if (HasWindow(item.kind)) windowed.push_back(&item);
  }
  // The dialog manager's tab order is the order of the child windows.
  std::stable_sort(windowed.begin(), windowed.end(), [](const Item* a, const Item* b) {
    return (a->tabIndex < 0 ? INT_MAX : a->tabIndex) < (b->tabIndex < 0 ? INT_MAX : b->tabIndex);
  });
  HWND previous = HWND_TOP;
  HINSTANCE module = GetModuleHandleW(nullptr);
  for (Item* item : windowed) {
    const RECT& r = item->rect;
    if (item->kind == ControlKind::kCommandButton) {
      item->window = CreateWindowExW(
          0, L"BUTTON", item->caption.c_str(), WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON, r.left, r.top,
          r.right - r.left, r.bottom - r.top, window_,
          reinterpret_cast<HMENU>(static_cast<INT_PTR>(item->id)), module, nullptr);
      if (item->window != nullptr) {
        SendMessageW(item->window, WM_SETFONT, reinterpret_cast<WPARAM>(item->font), FALSE);
      }
    } else if (UserControl* control = form.FindControl(item->name)->Attached()) {
      Win32UserControlWindow* site =
          Win32UserControlWindow::Create(window_, r, *control, services_.fonts);
      item->window = site != nullptr ? site->Handle() : nullptr;
    }
    if (item->window == nullptr) continue;
    SetWindowPos(item->window, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ShowWindow(item->window, ShownOnScreen(*item) ? SW_SHOWNA : SW_HIDE);
    previous = item->window;
  }
}

void Win32FormWindow::UpdateItem(Item& item, const Control& control) {
  const RECT origin = ContainerOrigin(item.container);
  item.rect.left = origin.left + TwipsToPixels(control.Left(), dotsPerInch_);
  item.rect.top = origin.top + TwipsToPixels(control.Top(), dotsPerInch_);
  item.rect.right = item.rect.left + TwipsToPixels(control.Width(), dotsPerInch_);
  item.rect.bottom = item.rect.top + TwipsToPixels(control.Height(), dotsPerInch_);
  item.caption = WideText::FromAnsi(control.CaptionText());
  item.visible = control.IsVisible();
  item.autoSize = control.AutoSize();
  if (control.HasFont()) {
    const FontSpec& spec = control.FontState();
    item.font = services_.fonts.Get(ControlFont{spec.name, spec.size, spec.bold});
  }
  if (item.kind == ControlKind::kLabel && item.autoSize) {
    // An auto-size label takes the size of its text, each line unbroken.
    HDC screen = GetDC(window_);
    HGDIOBJ old = SelectObject(screen, item.font);
    RECT text{0, 0, 0, 0};
    DrawTextW(screen, item.caption.c_str(), static_cast<int>(item.caption.size()), &text,
              DT_CALCRECT | DT_NOPREFIX);
    SelectObject(screen, old);
    ReleaseDC(window_, screen);
    item.rect.right = item.rect.left + text.right;
    item.rect.bottom = item.rect.top + text.bottom;
  }
}

RECT Win32FormWindow::ContainerOrigin(const std::string& container) const {
  const Item* panel = container.empty() ? nullptr : Find(container);
  return panel != nullptr ? panel->rect : RECT{0, 0, 0, 0};
}

bool Win32FormWindow::ShownOnScreen(const Item& item) const {
  if (!item.visible) return false;
  const Item* panel = item.container.empty() ? nullptr : Find(item.container);
  return panel == nullptr || panel->visible;
}

void Win32FormWindow::PlaceWindow() {
  RECT frame{0, 0, MulDiv(Form::kClientWidth, dotsPerInch_, kDesignDotsPerInch),
             MulDiv(Form::kClientHeight, dotsPerInch_, kDesignDotsPerInch)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExtendedStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int left = work.left + (work.right - work.left - width) / 2;
  const int top = work.top + (work.bottom - work.top - height) / 2;
  SetWindowPos(window_, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32FormWindow::Paint(HDC target) const {
  RECT client;
  GetClientRect(window_, &client);
  FillRect(target, &client, GetSysColorBrush(COLOR_BTNFACE));
  PaintItems(target, ControlKind::kImage);
  PaintItems(target, ControlKind::kFrame);
  PaintItems(target, ControlKind::kLabel);
}

void Win32FormWindow::PaintItems(HDC target, ControlKind kind) const {
  for (const Item& item : items_) {
    if (item.kind != kind || !ShownOnScreen(item)) continue;
    if (kind == ControlKind::kImage) {
      services_.artwork.DrawPicture(target, item.rect.left, item.rect.top, dotsPerInch_);
    } else if (kind == ControlKind::kFrame) {
      HBRUSH white = CreateSolidBrush(kPanelColor);
      FillRect(target, &item.rect, white);
      DeleteObject(white);
    } else {
      const int saved = SaveDC(target);
      if (const Item* panel = item.container.empty() ? nullptr : Find(item.container)) {
        IntersectClipRect(target, panel->rect.left, panel->rect.top, panel->rect.right,
                          panel->rect.bottom);
      }
      SelectObject(target, item.font);
      SetBkMode(target, TRANSPARENT);
      SetTextColor(target, kLabelTextColor);
      RECT box = item.rect;
      DrawTextW(target, item.caption.c_str(), static_cast<int>(item.caption.size()), &box,
                DT_LEFT | DT_TOP | DT_NOPREFIX | (item.autoSize ? 0 : DT_WORDBREAK));
      RestoreDC(target, saved);
    }
  }
}

void Win32FormWindow::Apply(const Control& control) {
  Item* item = Find(control.Name());
  if (item == nullptr) return;
  UpdateItem(*item, control);
  if (item->kind == ControlKind::kFrame) {
    for (Item& child : items_) {
      if (child.container != item->name) continue;
      if (const Control* inside = form_->FindControl(child.name)) UpdateItem(child, *inside);
    }
  }
  for (const Item& each : items_) {
    if (each.window == nullptr || (&each != item && each.container != item->name)) continue;
    if (each.kind == ControlKind::kCommandButton) {
      SetWindowTextW(each.window, each.caption.c_str());
      SendMessageW(each.window, WM_SETFONT, reinterpret_cast<WPARAM>(each.font), TRUE);
    }
    SetWindowPos(each.window, nullptr, each.rect.left, each.rect.top,
                 each.rect.right - each.rect.left, each.rect.bottom - each.rect.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(each.window, ShownOnScreen(each) ? SW_SHOWNA : SW_HIDE);
  }
  // Labels are painted by the dialog: shown now, even if the program is busy until the
  // next pass over the messages.
  InvalidateRect(window_, nullptr, FALSE);
  if (IsWindowVisible(window_)) UpdateWindow(window_);
}

void Win32FormWindow::Show() {
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  HWND focus = GetFocus();
  if (focus != nullptr && (focus == window_ || IsChild(window_, focus))) return;
  if (HWND first = GetNextDlgTabItem(window_, nullptr, FALSE)) {
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
  }
}

void Win32FormWindow::Hide() {
  ShowWindow(window_, SW_HIDE);
}

void Win32FormWindow::Command(WORD id, WORD code) {
  if (id == IDCANCEL) {
    const Item* cancel = Find(kCancelButton);
    if (cancel != nullptr && ShownOnScreen(*cancel) && IsWindowEnabled(cancel->window)) {
      Click(kCancelButton);
    }
    return;
  }
  if (id == IDOK) {
    // Enter without a default button: the focused button is pressed.
    HWND focus = GetFocus();
    for (const Item& item : items_) {
      if (item.window == focus && item.kind == ControlKind::kCommandButton) {
        Click(item.name);
        return;
      }
    }
    return;
  }
  const int index = id - kFirstControlId;
  if (code == BN_CLICKED && index >= 0 && index < static_cast<int>(items_.size())) {
    Click(items_[static_cast<size_t>(index)].name);
  }
}

// The handler may unload the form, which destroys this window and this object: nothing
// below touches a member once the handler has been called.
void Win32FormWindow::Click(const std::string& name) {
  if (services_.pump.InputBlocked()) {
    if (name == kCancelButton) services_.pump.RequestCancel();
    return;
  }
  Form* form = form_;
  std::string control = name;
  services_.pump.Dispatch([form, control] {
    std::shared_ptr<Form> keepAlive = form->weak_from_this().lock();
    form->Click(control);
  });
}

void Win32FormWindow::CloseBox() {
  if (services_.pump.InputBlocked()) {
    services_.pump.RequestCancel();
    return;
  }
  Form* form = form_;
  services_.pump.Dispatch([form] {
    std::shared_ptr<Form> keepAlive = form->weak_from_this().lock();
    form->CloseBox();
  });
}

HWND Win32FormWindow::ControlHandle(const std::string& name) const {
  const Item* item = Find(name);
  return item != nullptr ? item->window : nullptr;
}

RECT Win32FormWindow::ControlRect(const std::string& name) const {
  const Item* item = Find(name);
  return item != nullptr ? item->rect : RECT{0, 0, 0, 0};
}

Win32FormWindow::Item* Win32FormWindow::Find(const std::string& name) {
  for (Item& item : items_) {
    if (item.name == name) return &item;
  }
  return nullptr;
}

const Win32FormWindow::Item* Win32FormWindow::Find(const std::string& name) const {
  for (const Item& item : items_) {
    if (item.name == name) return &item;
  }
  return nullptr;
}

}  // namespace qz

#include "platform/win32/Win32InputBox.h"

#include <utility>

#include "platform/win32/Win32DialogTemplate.h"
#include "platform/win32/Win32MessagePump.h"

namespace qz {
namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER;
constexpr DWORD kExtendedStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_TOPMOST;
constexpr int kEditId = 100;
constexpr int kPromptId = 101;
// The layout in pixels at 96 dots an inch.
constexpr int kClientWidth = 375;
constexpr int kClientHeight = 135;

}  // namespace

Win32InputBox::Win32InputBox(Win32MessagePump& pump, std::wstring prompt, std::wstring title,
                             std::wstring defaultText)
    : pump_(pump),
      prompt_(std::move(prompt)),
      title_(std::move(title)),
      text_(std::move(defaultText)) {
  HDC screen = GetDC(nullptr);
  if (screen != nullptr) {
    dotsPerInch_ = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  }
}

Win32InputBox::~Win32InputBox() {
  EnableOtherWindows();
  if (window_ != nullptr) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
}

std::wstring Win32InputBox::Run() {
  window_ = Win32DialogTemplate(kStyle, kExtendedStyle)
                .Create(nullptr, &Procedure, reinterpret_cast<LPARAM>(this));
  if (window_ == nullptr) return {};
  SetWindowTextW(window_, title_.c_str());
  CreateControls();
  DisableOtherWindows();
  ShowWindow(window_, SW_SHOW);
  SetForegroundWindow(window_);
  SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit_), TRUE);
  SendMessageW(edit_, EM_SETSEL, 0, -1);
  pump_.RunUntil([this] { return done_; });
  return accepted_ ? text_ : std::wstring();
}

void Win32InputBox::CreateControls() {
  RECT frame{0, 0, MulDiv(kClientWidth, dotsPerInch_, USER_DEFAULT_SCREEN_DPI),
             MulDiv(kClientHeight, dotsPerInch_, USER_DEFAULT_SCREEN_DPI)};
  AdjustWindowRectEx(&frame, kStyle, FALSE, kExtendedStyle);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // Created in tab order: the text field first, then OK and Cancel.
  edit_ = AddControl(L"EDIT", text_, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, kEditId, 10, 100, 355,
                     22);
  AddControl(L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, IDOK, 290, 10, 75, 24);
  AddControl(L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, IDCANCEL, 290, 40, 75, 24);
  AddControl(L"STATIC", prompt_, SS_LEFT | SS_NOPREFIX, kPromptId, 10, 10, 270, 85);
}

HWND Win32InputBox::AddControl(const wchar_t* windowClass, const std::wstring& text, DWORD style,
                               int id, int left, int top, int width, int height) {
  auto scale = [this](int pixels) { return MulDiv(pixels, dotsPerInch_, USER_DEFAULT_SCREEN_DPI); };
  HWND control = CreateWindowExW(0, windowClass, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                 scale(left), scale(top), scale(width), scale(height), window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  if (control != nullptr && font_ != nullptr) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }
  return control;
}

INT_PTR CALLBACK Win32InputBox::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
    return FALSE;
  }
  auto* self = reinterpret_cast<Win32InputBox*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        self->Finish(LOWORD(wParam) == IDOK);
        return TRUE;
      }
      return FALSE;
    case WM_CLOSE:
      self->Finish(false);
      return TRUE;
    case WM_SETCURSOR:
      if (!self->pump_.ApplyPointer()) return FALSE;
      SetWindowLongPtrW(window, DWLP_MSGRESULT, TRUE);
      return TRUE;
    default:
      return FALSE;
  }
}

void Win32InputBox::Finish(bool accepted) {
  if (accepted && edit_ != nullptr) {
    const int length = GetWindowTextLengthW(edit_);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    GetWindowTextW(edit_, text.data(), length + 1);
    text.resize(static_cast<size_t>(length));
    text_ = std::move(text);
  }
  accepted_ = accepted;
  done_ = true;
  // The windows come back before the box goes, so that the system activates one of them.
  EnableOtherWindows();
  ShowWindow(window_, SW_HIDE);
}

void Win32InputBox::DisableOtherWindows() {
  EnumThreadWindows(GetCurrentThreadId(), DisableIfOther, reinterpret_cast<LPARAM>(this));
}

BOOL CALLBACK Win32InputBox::DisableIfOther(HWND window, LPARAM self) {
  auto* box = reinterpret_cast<Win32InputBox*>(self);
  if (window != box->window_ && IsWindowVisible(window) && IsWindowEnabled(window)) {
    EnableWindow(window, FALSE);
    box->disabled_.push_back(window);
  }
  return TRUE;
}

void Win32InputBox::EnableOtherWindows() {
  for (HWND window : disabled_) {
    if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  disabled_.clear();
}

}  // namespace qz

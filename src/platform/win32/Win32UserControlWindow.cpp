#include "platform/win32/Win32UserControlWindow.h"

#include <utility>

#include "platform/Error.h"
#include "platform/UserControl.h"
#include "platform/win32/WideText.h"
#include "platform/win32/Win32FontCache.h"

namespace qz {
namespace {

constexpr wchar_t kClassName[] = L"QzUpdate.XP_ProgressBar";
constexpr uint32_t kColorBits = 0x00FFFFFF;
constexpr int32_t kSystemColorCount = 31;

// The canvas keeps 0x00BBGGRR; a 32-bit device-independent bitmap keeps 0x00RRGGBB.
constexpr uint32_t SwapRedBlue(uint32_t c) {
  return (c & 0x0000FF00) | (c & 0xFF) << 16 | (c >> 16 & 0xFF);
}

BITMAPINFO TopDownInfo(int32_t width, int32_t height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

void RegisterClassOnce() {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kClassName, &existing)) return;
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = DefWindowProcW;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.lpszClassName = kClassName;
  RegisterClassExW(&windowClass);
}

}  // namespace

Win32UserControlWindow* Win32UserControlWindow::Create(HWND parent, const RECT& rect,
                                                       UserControl& control,
                                                       Win32FontCache& fonts) {
  RegisterClassOnce();
  auto* site = new Win32UserControlWindow(control, fonts);
  HWND window = CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                                rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                                parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (window == nullptr) {
    delete site;
    return nullptr;
  }
  site->window_ = window;
  SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(site));
  SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Procedure));
  site->Surface();
  try {
    control.UserControl_Initialize(*site);
  } catch (const Error&) {
    // A failed first drawing leaves the control as it is; the next paint tries again.
  }
  return site;
}

LRESULT CALLBACK Win32UserControlWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
  auto* site = reinterpret_cast<Win32UserControlWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (site == nullptr) return DefWindowProcW(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    delete site;
    return DefWindowProcW(window, message, wParam, lParam);
  }
  return site->Handle(message, wParam, lParam);
}

LRESULT Win32UserControlWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the surface covers every pixel
    case WM_SIZE:
      Resize();
      return 0;
    case WM_DESTROY:
      Detach();
      return 0;
    default:
      return DefWindowProcW(window_, message, wParam, lParam);
  }
}

void Win32UserControlWindow::Paint() {
  PAINTSTRUCT paint;
  HDC target = BeginPaint(window_, &paint);
  if (control_ != nullptr) {
    painting_ = true;
    try {
      control_->UserControl_Paint();
    } catch (const Error&) {
      // Ignored like a failed drawing: the surface shows what it last held.
    }
    painting_ = false;
  }
  Present(target);
  EndPaint(window_, &paint);
}

void Win32UserControlWindow::Resize() {
  Surface();
  if (control_ == nullptr) return;
  try {
    control_->UserControl_Resize();
  } catch (const Error&) {
    // Growing the buffer raises nothing the window could act on.
  }
}

void Win32UserControlWindow::Detach() {
  if (control_ == nullptr) return;
  std::exchange(control_, nullptr)->UserControl_Terminate();
}

int32_t Win32UserControlWindow::ClientWidth() const {
  RECT client{};
  GetClientRect(window_, &client);
  return client.right;
}

int32_t Win32UserControlWindow::ClientHeight() const {
  RECT client{};
  GetClientRect(window_, &client);
  return client.bottom;
}

PixelCanvas& Win32UserControlWindow::Surface() {
  const int32_t width = ClientWidth();
  const int32_t height = ClientHeight();
  if (surface_.Width() != width || surface_.Height() != height) {
    surface_.Reset(width, height, backColor_);
  }
  return surface_;
}

void Win32UserControlWindow::ShowSurface() {
  if (painting_) return;  // the paint shows the surface when the control is done
  HDC target = GetDC(window_);
  if (target == nullptr) return;
  Present(target);
  ReleaseDC(window_, target);
}

void Win32UserControlWindow::Present(HDC target) {
  const PixelCanvas& surface = Surface();
  const size_t count = static_cast<size_t>(surface.Width()) * surface.Height();
  if (count == 0) return;
  shown_.resize(count);
  for (size_t i = 0; i < count; ++i) shown_[i] = SwapRedBlue(surface.Bits()[i]);
  BITMAPINFO info = TopDownInfo(surface.Width(), surface.Height());
  SetDIBitsToDevice(target, 0, 0, surface.Width(), surface.Height(), 0, 0, 0,
                    static_cast<UINT>(surface.Height()), shown_.data(), &info, DIB_RGB_COLORS);
}

void Win32UserControlWindow::SetBackColor(uint32_t color) {
  backColor_ = color & kColorBits;
  surface_.Reset(ClientWidth(), ClientHeight(), backColor_);
}

void Win32UserControlWindow::DrawText(PixelCanvas& target, const Rect& rect, std::string_view text,
                                      uint32_t color) {
  if (target.Width() == 0 || target.Height() == 0) return;
  BITMAPINFO info = TopDownInfo(target.Width(), target.Height());
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr) return;
  HDC context = CreateCompatibleDC(nullptr);
  HGDIOBJ oldBitmap = SelectObject(context, bitmap);
  auto* pixels = static_cast<uint32_t*>(bits);
  const size_t count = static_cast<size_t>(target.Width()) * target.Height();
  for (size_t i = 0; i < count; ++i) pixels[i] = SwapRedBlue(target.Bits()[i]);

  const ControlFont* font = target.SelectedFont();
  HGDIOBJ oldFont =
      SelectObject(context, font != nullptr ? fonts_.Get(*font) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(context, TRANSPARENT);
  SetTextColor(context, color & kColorBits);
  RECT box{rect.left, rect.top, rect.right, rect.bottom};
  std::wstring wide = WideText::FromAnsi(text);
  ::DrawTextW(context, wide.c_str(), static_cast<int>(wide.size()), &box,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  GdiFlush();
  for (size_t i = 0; i < count; ++i) target.Bits()[i] = SwapRedBlue(pixels[i]) & kColorBits;

  SelectObject(context, oldFont);
  SelectObject(context, oldBitmap);
  DeleteDC(context);
  DeleteObject(bitmap);
}

void Win32UserControlWindow::SetWindowRegion(const Rect& bounds, std::span<const Rect> removed) {
  HRGN region = CreateRectRgn(bounds.left, bounds.top, bounds.right, bounds.bottom);
  if (region == nullptr) return;
  for (const Rect& rect : removed) {
    HRGN piece = CreateRectRgn(rect.left, rect.top, rect.right, rect.bottom);
    if (piece == nullptr) continue;
    CombineRgn(region, region, piece, RGN_DIFF);
    DeleteObject(piece);
  }
  // Assigning a region repaints the window; only a new shape is worth that (and a paint
  // that set the same shape again would never end).
  HRGN current = CreateRectRgn(0, 0, 0, 0);
  const bool same = GetWindowRgn(window_, current) != ERROR && EqualRgn(current, region);
  DeleteObject(current);
  if (same) {
    DeleteObject(region);
    return;
  }
  // The window owns the region from here on.
  if (SetWindowRgn(window_, region, TRUE) == 0) DeleteObject(region);
}

uint32_t Win32UserControlWindow::SysColor(int32_t index) const {
  if (index < 0 || index >= kSystemColorCount) return 0;
  return GetSysColor(index) & kColorBits;
}

}  // namespace qz

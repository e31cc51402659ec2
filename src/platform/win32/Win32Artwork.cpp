#include "platform/win32/Win32Artwork.h"

#include "platform/win32/res/Resources.h"

namespace qz {
namespace {

constexpr int kDesignDotsPerInch = 96;

HICON LoadIconAtSize(int width, int height) {
  HINSTANCE module = GetModuleHandleW(nullptr);
  auto icon = static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(QZ_IDI_APPLICATION),
                                            IMAGE_ICON, width, height, LR_DEFAULTCOLOR));
  if (icon != nullptr) return icon;
  return static_cast<HICON>(
      LoadImageW(nullptr, MAKEINTRESOURCEW(32512), IMAGE_ICON, width, height, LR_SHARED));
}

}  // namespace

Win32Artwork::Win32Artwork() {
  picture_ =
      static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(QZ_IDB_PICTURE),
                                      IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  smallIcon_ = LoadIconAtSize(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON));
  largeIcon_ = LoadIconAtSize(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
}

Win32Artwork::~Win32Artwork() {
  if (picture_ != nullptr) DeleteObject(picture_);
  // Shared system icons must not be destroyed; DestroyIcon refuses them harmlessly.
  if (smallIcon_ != nullptr) DestroyIcon(smallIcon_);
  if (largeIcon_ != nullptr) DestroyIcon(largeIcon_);
}

void Win32Artwork::DrawPicture(HDC target, int x, int y, int dotsPerInch) const {
  if (picture_ == nullptr) return;
  BITMAP info{};
  GetObjectW(picture_, sizeof info, &info);
  HDC source = CreateCompatibleDC(target);
  HGDIOBJ old = SelectObject(source, picture_);
  if (dotsPerInch == kDesignDotsPerInch) {
    BitBlt(target, x, y, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
  } else {
    SetStretchBltMode(target, HALFTONE);
    SetBrushOrgEx(target, 0, 0, nullptr);
    StretchBlt(target, x, y, MulDiv(info.bmWidth, dotsPerInch, kDesignDotsPerInch),
               MulDiv(info.bmHeight, dotsPerInch, kDesignDotsPerInch), source, 0, 0, info.bmWidth,
               info.bmHeight, SRCCOPY);
  }
  SelectObject(source, old);
  DeleteDC(source);
}

}  // namespace qz

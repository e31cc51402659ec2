#pragma once

#include "platform/win32/WindowsApi.h"

namespace qz {

// The dialogs' artwork from the executable's resources: the picture beneath every dialog
// (500 x 316 pixels at 96 dots an inch) and the application icon. A program built
// without the resources gets no picture and the system's default icon.
class Win32Artwork {
 public:
  Win32Artwork();
  ~Win32Artwork();
  Win32Artwork(const Win32Artwork&) = delete;
  Win32Artwork& operator=(const Win32Artwork&) = delete;

  // The picture, or null. Owned by this object.
  HBITMAP Picture() const { return picture_; }
  // The icon at the title bar's and at the task switcher's size.
  HICON SmallIcon() const { return smallIcon_; }
  HICON LargeIcon() const { return largeIcon_; }

  // Draws the picture at its natural size scaled by `dotsPerInch` / 96, top left at (x, y).
  void DrawPicture(HDC target, int x, int y, int dotsPerInch) const;

 private:
  HBITMAP picture_ = nullptr;
  HICON smallIcon_ = nullptr;
  HICON largeIcon_ = nullptr;
};

}  // namespace qz

#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "platform/Rect.h"

namespace qz {

class PixelCanvas;

// What a user control sees of the child window that hosts it: its size, its surface, text
// drawing, its shape and the system colours. One implementation per toolkit; tests use a
// fake.
class UserControlSite {
 public:
  virtual ~UserControlSite() = default;

  // The client area in whole pixels; its left and top are always 0.
  virtual int32_t ClientWidth() const = 0;
  virtual int32_t ClientHeight() const = 0;

  // The window's own pixels, as large as its client area: what the user sees of the
  // control. Drawing into it reaches the screen at the next ShowSurface or repaint.
  virtual PixelCanvas& Surface() = 0;
  // Puts the surface on the screen now, without waiting for the event loop (a control
  // may be updated while the program is busy). Does nothing while the control paints.
  virtual void ShowSurface() = 0;
  // The colour the surface is cleared to whenever the window is resized (0x00BBGGRR).
  virtual void SetBackColor(uint32_t color) = 0;

  // Draws `text` into `target` as one line centred horizontally and vertically in `rect`,
  // in `color` on a transparent background, with the font selected in `target` (the
  // toolkit's default font when none is).
  virtual void DrawText(PixelCanvas& target, const Rect& rect, std::string_view text,
                        uint32_t color) = 0;

  // Shapes the window to `bounds` minus every rectangle of `removed`; only that area
  // shows and takes the mouse. Takes effect at once.
  virtual void SetWindowRegion(const Rect& bounds, std::span<const Rect> removed) = 0;

  // The current 0x00BBGGRR value of system colour `index` (0..30, the classic desktop
  // colour slots: 5 window background, 8 window text, 13 selection highlight, 15 button
  // face, ...); 0 for an index without a colour.
  virtual uint32_t SysColor(int32_t index) const = 0;
};

}  // namespace qz

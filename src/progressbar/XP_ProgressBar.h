#pragma once

#include <cstdint>
#include <memory>
#include <utility>

#include "platform/ControlFont.h"
#include "platform/PixelCanvas.h"
#include "platform/Rect.h"
#include "platform/UserControl.h"

namespace qz {

class UserControlSite;

// A flat, rounded, segmented progress bar in the style of the Windows XP theme, drawn by
// the control itself into an off-screen pixel buffer that reaches the window in one copy.
//
// Handles map onto this toolkit-neutral world as follows:
//  - a device context is a PixelCanvas*: the buffer, or the window's own surface
//    (UserControlSite::Surface) when no buffer could be made;
//  - a window handle is the UserControlSite* of the window;
//  - the buffer is one PixelCanvas that owns its pixels, so it is the memory device context
//    and its bitmap at once: there is no separate bitmap, and no previously selected bitmap,
//    to select back and delete;
//  - a font object is a shared ControlFont (assigning Font shares it, as assigning a font
//    object does); "selecting" it means PixelCanvas::SelectFont.
// Colours are 32-bit values as the platform has them: top bit clear is RGB 0x00BBGGRR;
// top bit set names a system colour by its index in the low bits.
//
// Every drawing may throw qz::Error: 11 "Division by zero" when Max equals Min, 6
// "Overflow" when Value - Min or Max - Min leaves the signed 32-bit range. The drawing
// stops there; the target then holds only the white background and nothing is copied to
// the window. The property writes that draw pass the error on after storing their value.
class XP_ProgressBar : public UserControl {
 public:
  // The gradient form of a colour: each 8-bit channel in the high byte of 16 bits.
  struct VertexColor {
    uint16_t Red = 0;
    uint16_t Green = 0;
    uint16_t Blue = 0;
    friend bool operator==(const VertexColor&, const VertexColor&) = default;
  };

  // Fill styles (Scrolling); any value other than these two is a continuous fill.
  static constexpr int32_t kSegmented = 0;
  static constexpr int32_t kContinuous = 1;
  static constexpr int32_t kSearching = 2;
  // Orientation: 0 fills left to right; any other value fills bottom to top.
  static constexpr int32_t kHorizontal = 0;
  static constexpr int32_t kVertical = 1;

  XP_ProgressBar() = default;
  XP_ProgressBar(const XP_ProgressBar&) = delete;
  XP_ProgressBar& operator=(const XP_ProgressBar&) = delete;

  // The bar colour, always plain RGB. A system colour written is resolved to its current
  // RGB value once, at the write. Does not redraw.
  uint32_t Color() const { return mColor; }
  void SetColor(uint32_t lColor);
  // The font of the status text (Tahoma 8 points from initialization). Does not redraw.
  std::shared_ptr<ControlFont> Font() const { return mFont; }
  void SetFont(std::shared_ptr<ControlFont> fnt) { mFont = std::move(fnt); }
  // The window whose client rectangle is the drawing area. Does not redraw.
  UserControlSite* hwnd() const { return mHwnd; }
  void SetHwnd(UserControlSite* chWnd) { mHwnd = chWnd; }
  // The drawing target. Writing ignores the value passed: it (re)establishes the buffer at
  // the control's current client size; the buffer only grows. Does not redraw.
  PixelCanvas* HDC() const { return mHdc; }
  void SetHDC(PixelCanvas* cHdc);
  // The range and the style; stored unchecked, shown at the next drawing.
  int32_t Min() const { return mMin; }
  void SetMin(int32_t cMin) { mMin = cMin; }
  int32_t Max() const { return mMax; }
  void SetMax(int32_t cMax) { mMax = cMax; }
  int32_t Orientation() const { return mOrientation; }
  void SetOrientation(int32_t cOrientation) { mOrientation = cOrientation; }
  int32_t Scrolling() const { return mScrolling; }
  void SetScrolling(int32_t lScrolling) { mScrolling = lScrolling; }
  // Whether the status text shows: "Searching.." in the searching style, otherwise the
  // position as a percentage of the range followed by " %" ("40 %"). Stores the flag, then
  // redraws; a drawing error is thrown after the store.
  bool ShowText() const { return mShowText; }
  void SetShowText(bool bShowText);
  // Stores the position unclamped, then redraws; a drawing error is thrown after the store.
  int32_t Value() const { return mValue; }
  void SetValue(int32_t cValue);

  // Draws the whole bar into HDC() and, once a buffer has ever existed, copies the buffer
  // to the window. Throws qz::Error 11 or 6 as described above.
  void DrawProgressBar();
  // Copies the buffer's WidthSrc x HeightSrc block at (xSrc, ySrc) to (xDst, yDst) of the
  // target HDC; a size below 1 means the buffer's whole width or height. Without a buffer
  // or a target nothing happens. A copy to the window's surface is shown at once.
  void pDraw(PixelCanvas* HDC, int32_t xSrc, int32_t ySrc, int32_t WidthSrc, int32_t HeightSrc,
             int32_t xDst, int32_t yDst);

  void UserControl_Initialize(UserControlSite& site) override;
  // Redraws and re-applies the rounded window shape; throws like DrawProgressBar.
  void UserControl_Paint() override;
  // Grows the buffer to the new client size when needed; does not redraw.
  void UserControl_Resize() override;
  void UserControl_Terminate() override;

  // Blends `c` toward white by `amount` (0 unchanged, 255 white), each channel
  // amount + (255 - amount) * channel / 255 truncated. Public so the shades can be checked.
  static uint32_t LightenColor(uint32_t c, int32_t amount);
  // The gradient form of RGB colour `c` (only its low 24 bits count).
  static VertexColor SplitColor(uint32_t c);

 private:
  PixelCanvas* EnsureBuffer(int32_t width, int32_t height);
  void CreateBuffer(int32_t width, int32_t height);
  void ReleaseBuffer();

  void CalculateProgress();
  void DrawBar();
  void DrawHorizontalBar();
  void DrawVerticalBar();
  void DrawSearchingBlocks();
  void DrawSeparators();
  void DrawStatusText();
  void DrawBorder();
  void SetRoundRegion(const Rect& rect, UserControlSite* window);

  uint32_t TranslateSysColor(uint32_t c) const;
  void GradientRect(PixelCanvas* target, int32_t x, int32_t y, int32_t width, int32_t height,
                    VertexColor first, VertexColor second, int32_t direction);
  void FillRectColor(const Rect& rect, uint32_t color, PixelCanvas* target);
  void FrameRectColor(const Rect& rect, uint32_t color, PixelCanvas* target);

  // The window that hosts this control: its own surface, size, text and colours.
  UserControlSite* site_ = nullptr;

  int32_t mScrolling = kSegmented;
  int32_t mOrientation = kHorizontal;
  uint32_t mColor = 0;
  PixelCanvas* mHdc = nullptr;
  UserControlSite* mHwnd = nullptr;
  int32_t mMax = 100;
  int32_t mMin = 0;
  int32_t mValue = 0;
  bool mShowText = false;
  bool mBuffered = false;
  std::unique_ptr<PixelCanvas> mMemDC;
  std::shared_ptr<ControlFont> mTextFont;
  std::shared_ptr<ControlFont> mFont;
  const ControlFont* mOldFont = nullptr;
  int32_t mBufferWidth = 0;
  int32_t mBufferHeight = 0;
  double mFraction = 0;
  Rect mClientRect;
  Rect mFillRect;
  Rect mSeparatorRect;
  int32_t mBlockWidth = 8;
  int32_t mBlockGap = 2;
};

}  // namespace qz

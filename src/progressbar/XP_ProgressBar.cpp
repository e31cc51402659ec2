#include "progressbar/XP_ProgressBar.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <new>
#include <stdexcept>
#include <string_view>

#include "platform/Error.h"
#include "platform/UserControlSite.h"

namespace qz {
namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kBorderGrey = 0xBEBEBE;
constexpr uint32_t kBorderLight = 0xEFEFEF;
constexpr uint32_t kBorderDark = 0x686868;
constexpr uint32_t kSystemColorFlag = 0x80000000;
constexpr uint32_t kHighlightSystemColor = kSystemColorFlag | 13;
constexpr int32_t kBarShade = 150;
constexpr int32_t kSearchBlock = 10;
constexpr int32_t kLeftToRight = 0;
constexpr int32_t kTopToBottom = 1;

int32_t CheckedSub(int32_t a, int32_t b) {
  int32_t result = 0;
  if (__builtin_sub_overflow(a, b, &result)) throw Error::Standard(Error::kOverflow);
  return result;
}

int32_t CheckedAdd(int32_t a, int32_t b) {
  int32_t result = 0;
  if (__builtin_add_overflow(a, b, &result)) throw Error::Standard(Error::kOverflow);
  return result;
}

// Nearest integer, halves to even (the default rounding mode), as a 32-bit value.
int32_t RoundToInt32(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= std::numeric_limits<int32_t>::min() &&
        rounded <= std::numeric_limits<int32_t>::max())) {
    throw Error::Standard(Error::kOverflow);
  }
  return static_cast<int32_t>(rounded);
}

}  // namespace

void XP_ProgressBar::SetColor(uint32_t lColor) {
  mColor = TranslateSysColor(lColor);
}

void XP_ProgressBar::SetHDC(PixelCanvas*) {
  const int32_t width = site_ != nullptr ? site_->ClientWidth() : 0;
  const int32_t height = site_ != nullptr ? site_->ClientHeight() : 0;
  mHdc = EnsureBuffer(width, height);
  if (mHdc != nullptr) {
    mBuffered = true;
  } else {
    mHdc = site_ != nullptr ? &site_->Surface() : nullptr;
  }
}

void XP_ProgressBar::SetShowText(bool bShowText) {
  mShowText = bShowText;
  DrawProgressBar();
}

void XP_ProgressBar::SetValue(int32_t cValue) {
  mValue = cValue;
  DrawProgressBar();
}

void XP_ProgressBar::DrawProgressBar() {
  if (mHwnd != nullptr) mClientRect = Rect{0, 0, mHwnd->ClientWidth(), mHwnd->ClientHeight()};
  FillRectColor(mClientRect, kWhite, mHdc);
  CalculateProgress();
  DrawBar();
  if (mScrolling == kSegmented) DrawSeparators();
  DrawStatusText();
  DrawBorder();
  if (site_ == nullptr) return;
  if (mBuffered) pDraw(&site_->Surface(), 0, 0, site_->ClientWidth(), site_->ClientHeight(), 0, 0);
  // Without a buffer the drawing went straight onto the window's surface.
  if (mHdc == &site_->Surface()) site_->ShowSurface();
}

void XP_ProgressBar::pDraw(PixelCanvas* HDC, int32_t xSrc, int32_t ySrc, int32_t WidthSrc,
                           int32_t HeightSrc, int32_t xDst, int32_t yDst) {
  if (mMemDC == nullptr || HDC == nullptr) return;
  HDC->CopyFrom(*mMemDC, xSrc, ySrc, WidthSrc < 1 ? mBufferWidth : WidthSrc,
                HeightSrc < 1 ? mBufferHeight : HeightSrc, xDst, yDst);
  if (site_ != nullptr && HDC == &site_->Surface()) site_->ShowSurface();
}

void XP_ProgressBar::UserControl_Initialize(UserControlSite& site) {
  site_ = &site;
  SetFont(std::make_shared<ControlFont>(ControlFont{.name = "Tahoma", .size = 8}));
  site.SetBackColor(kWhite);
  SetHDC(&site.Surface());
  SetHwnd(&site);
  SetMax(100);
  SetMin(0);
  SetValue(0);
  SetOrientation(kHorizontal);
  SetScrolling(kSegmented);
  SetColor(kHighlightSystemColor);
  DrawProgressBar();
}

void XP_ProgressBar::UserControl_Paint() {
  DrawProgressBar();
  if (site_ != nullptr) {
    SetRoundRegion(Rect{0, 0, site_->ClientWidth(), site_->ClientHeight()}, site_);
  }
}

void XP_ProgressBar::UserControl_Resize() {
  SetHDC(site_ != nullptr ? &site_->Surface() : nullptr);
}

void XP_ProgressBar::UserControl_Terminate() {
  ReleaseBuffer();
  // The window goes away: nothing may reach it any more.
  if (site_ != nullptr && mHdc == &site_->Surface()) mHdc = nullptr;
  if (mHwnd == site_) mHwnd = nullptr;
  site_ = nullptr;
}

PixelCanvas* XP_ProgressBar::EnsureBuffer(int32_t width, int32_t height) {
  // A buffer is re-created at the current size only when the control outgrew it, so
  // shrinking the control keeps the larger buffer.
  const bool exists = mMemDC != nullptr;
  if (exists ? height > mBufferHeight || width > mBufferWidth : width > 0 && height > 0) {
    CreateBuffer(width, height);
  }
  return mMemDC.get();
}

void XP_ProgressBar::CreateBuffer(int32_t width, int32_t height) {
  ReleaseBuffer();
  try {
    mMemDC = std::make_unique<PixelCanvas>(width, height);
  } catch (const std::bad_alloc&) {
    return;  // no buffer: drawing goes straight to the window
  } catch (const std::length_error&) {
    return;
  }
  mBufferWidth = width;
  mBufferHeight = height;
}

void XP_ProgressBar::ReleaseBuffer() {
  if (mHdc == mMemDC.get()) mHdc = nullptr;
  mMemDC.reset();
  mBufferWidth = 0;
  mBufferHeight = 0;
}

void XP_ProgressBar::CalculateProgress() {
  mBlockWidth = 8;
  mBlockGap = 2;
  mFillRect = mClientRect;
  const int32_t done = CheckedSub(mValue, mMin);
  const int32_t range = CheckedSub(mMax, mMin);
  if (range == 0) throw Error::Standard(Error::kDivisionByZero);
  mFraction = std::clamp(static_cast<double>(done) / range, 0.0, 1.0);

  // The filled part ends on the block grid, rounded toward empty.
  const int32_t step = mBlockWidth + mBlockGap;
  if (mOrientation == kHorizontal) {
    const int32_t width = CheckedSub(mClientRect.right, mClientRect.left);
    const int32_t x = RoundToInt32(mFraction * width + mClientRect.left);
    mFillRect.right = CheckedSub(x, CheckedSub(x, mFillRect.left) % step);
    mFillRect.right = std::max(mFillRect.right, mClientRect.left);
  } else {
    // A vertical bar runs two hundredths ahead of a horizontal one.
    mFraction = 1 - mFraction - 0.02;
    const int32_t height = CheckedSub(mClientRect.bottom, mClientRect.top);
    const int32_t y = RoundToInt32(height * mFraction + mClientRect.top);
    mFillRect.top = CheckedSub(y, CheckedSub(y, mFillRect.bottom) % step);
    mFillRect.top = std::min(mFillRect.top, mClientRect.bottom);
  }
}

void XP_ProgressBar::DrawBar() {
  if (mScrolling == kSearching) {
    DrawSearchingBlocks();
  } else if (mOrientation == kHorizontal) {
    DrawHorizontalBar();
  } else {
    DrawVerticalBar();
  }
}

// Light bands at the top and bottom around the full colour, like a lit cylinder.
void XP_ProgressBar::DrawHorizontalBar() {
  const int32_t right = mFillRect.right, bottom = mClientRect.bottom;
  const VertexColor edge = SplitColor(LightenColor(mColor, kBarShade));
  const VertexColor middle = SplitColor(mColor);
  GradientRect(mHdc, 2, 3, right - 2, 6, edge, middle, kTopToBottom);
  FillRectColor(Rect{2, 8, right, bottom - 6}, mColor, mHdc);
  GradientRect(mHdc, 2, bottom - 8, right - 2, 6, middle, edge, kTopToBottom);
}

// The side bands are as high as the client area and start at the fill's top, so they run
// past the bottom edge and are clipped there.
void XP_ProgressBar::DrawVerticalBar() {
  const int32_t top = mFillRect.top, right = mClientRect.right, bottom = mClientRect.bottom;
  const VertexColor edge = SplitColor(LightenColor(mColor, kBarShade));
  const VertexColor middle = SplitColor(mColor);
  GradientRect(mHdc, 2, top, 6, bottom, edge, middle, kLeftToRight);
  FillRectColor(Rect{7, top, right - 8, bottom}, mColor, mHdc);
  GradientRect(mHdc, right - 8, top, 6, bottom, middle, edge, kLeftToRight);
}

// Three blocks from the fill edge on, the palest first.
void XP_ProgressBar::DrawSearchingBlocks() {
  const int32_t right = mClientRect.right, bottom = mClientRect.bottom;
  for (int32_t i = 0; i < 3; ++i) {
    const uint32_t pale = LightenColor(mColor, 220 - 40 * i);
    const uint32_t full = LightenColor(mColor, 200 - 40 * i);
    const int32_t offset = (mBlockGap + kSearchBlock) * i;
    if (mOrientation == kHorizontal) {
      const int32_t x = CheckedAdd(mFillRect.right, offset);
      GradientRect(mHdc, x, 3, kSearchBlock, 6, SplitColor(pale), SplitColor(full), kTopToBottom);
      FillRectColor(Rect{x, 8, x + kSearchBlock, bottom - 6}, full, mHdc);
      GradientRect(mHdc, x, bottom - 8, kSearchBlock, 6, SplitColor(full), SplitColor(pale),
                   kTopToBottom);
    } else {
      const int32_t y = CheckedAdd(mFillRect.top, offset);
      GradientRect(mHdc, 2, y, 6, kSearchBlock, SplitColor(pale), SplitColor(full), kTopToBottom);
      FillRectColor(Rect{8, y, right - 8, y + kSearchBlock}, full, mHdc);
      GradientRect(mHdc, right - 8, y, 6, kSearchBlock, SplitColor(full), SplitColor(pale),
                   kTopToBottom);
    }
  }
}

// White gaps across the whole bar every block step; the border later covers their ends.
void XP_ProgressBar::DrawSeparators() {
  mSeparatorRect = mClientRect;
  const int32_t step = mBlockWidth + mBlockGap;
  if (mOrientation == kHorizontal) {
    const int32_t last = mFillRect.right;
    for (int32_t x = mFillRect.left + mBlockWidth; x <= last; x += step) {
      mSeparatorRect.left = x + 2;
      mSeparatorRect.right = x + 2 + mBlockGap;
      FillRectColor(mSeparatorRect, kWhite, mHdc);
    }
  } else {
    const int32_t last = mFillRect.top + mBlockWidth;
    for (int32_t y = mFillRect.bottom; y >= last; y -= step) {
      mSeparatorRect.top = y - 2;
      mSeparatorRect.bottom = y - 2 + mBlockGap;
      FillRectColor(mSeparatorRect, kWhite, mHdc);
    }
  }
}

// The number is the position as a percentage of the range, (Value - Min) * 100 /
// (Max - Min) in double precision, not clamped: under the range 0..100 it is Value itself,
// and a large range (a byte count, say) cannot overflow. It is written in the shortest
// form with up to 15 significant digits and the decimal separator of the user's locale.
void XP_ProgressBar::DrawStatusText() {
  std::array<char, 64> buffer{};
  std::string_view text = "Searching..";
  if (mScrolling != kSearching) {
    const double percent =
        100.0 * CheckedSub(mValue, mMin) / CheckedSub(mMax, mMin) + 0.0;  // + 0.0: no "-0"
    const int length = std::snprintf(buffer.data(), buffer.size(), "%.15G %%", percent);
    text = std::string_view(buffer.data(), static_cast<size_t>(length));
  }
  if (!mShowText) return;

  mTextFont = mFont;
  if (mHdc == nullptr || site_ == nullptr) return;
  mOldFont = mHdc->SelectFont(mTextFont.get());
  site_->DrawText(*mHdc, mClientRect, text, kBlack);
  mHdc->SelectFont(mOldFont);
}

void XP_ProgressBar::DrawBorder() {
  const int32_t right = mClientRect.right, bottom = mClientRect.bottom;
  FrameRectColor(Rect{1, 1, right, bottom}, TranslateSysColor(kBorderGrey), mHdc);
  FrameRectColor(Rect{1, 2, right - 1, bottom - 1}, TranslateSysColor(kBorderLight), mHdc);
  FrameRectColor(Rect{0, 0, right, bottom}, TranslateSysColor(kBorderDark), mHdc);
  if (mHdc == nullptr) return;
  const uint32_t dark = TranslateSysColor(kBorderDark);
  mHdc->SetPixel(1, 1, dark);
  mHdc->SetPixel(right - 2, 1, dark);
  mHdc->SetPixel(1, bottom - 2, dark);
  mHdc->SetPixel(right - 2, bottom - 2, dark);
}

// Three pixels off each corner: two-pixel runs first, then the single pixels, corners in
// the order top left, bottom left, top right, bottom right.
void XP_ProgressBar::SetRoundRegion(const Rect& rect, UserControlSite* window) {
  if (window == nullptr) return;
  const int32_t r = rect.right, b = rect.bottom;
  const std::array<Rect, 8> removed{{
      {0, 0, 2, 1},
      {0, b - 1, 2, b},
      {r - 2, 0, r, 1},
      {r - 2, b - 1, r, b},
      {0, 1, 1, 2},
      {0, b - 2, 1, b - 1},
      {r - 1, 1, r, 2},
      {r - 1, b - 2, r, b - 1},
  }};
  window->SetWindowRegion(Rect{0, 0, r, b}, removed);
}

uint32_t XP_ProgressBar::TranslateSysColor(uint32_t c) const {
  if ((c & kSystemColorFlag) == 0) return c;
  return site_ != nullptr ? site_->SysColor(static_cast<int32_t>(c & ~kSystemColorFlag)) : 0;
}

uint32_t XP_ProgressBar::LightenColor(uint32_t c, int32_t amount) {
  auto lighten = [amount](uint32_t channel) {
    const int64_t value = amount + (255 - int64_t{amount}) * channel / 255;
    return static_cast<uint32_t>(std::clamp<int64_t>(value, 0, 255));
  };
  return lighten(c & 0xFF) | lighten((c >> 8) & 0xFF) << 8 | lighten((c >> 16) & 0xFF) << 16;
}

XP_ProgressBar::VertexColor XP_ProgressBar::SplitColor(uint32_t c) {
  return VertexColor{static_cast<uint16_t>((c & 0xFF) << 8),
                     static_cast<uint16_t>(((c >> 8) & 0xFF) << 8),
                     static_cast<uint16_t>(((c >> 16) & 0xFF) << 8)};
}

// Vertex 0 at (x, y) has the first colour, vertex 1 at the opposite corner the second; the
// mesh names vertex 1 as its upper left. An empty rectangle or unknown direction fills
// nothing.
void XP_ProgressBar::GradientRect(PixelCanvas* target, int32_t x, int32_t y, int32_t width,
                                  int32_t height, VertexColor first, VertexColor second,
                                  int32_t direction) {
  if (target == nullptr || width <= 0 || height <= 0) return;
  if (direction != kLeftToRight && direction != kTopToBottom) return;
  const std::array<PixelCanvas::Vertex, 2> vertices{{
      {x, y, first.Red, first.Green, first.Blue, 0},
      {CheckedAdd(x, width), CheckedAdd(y, height), second.Red, second.Green, second.Blue, 0},
  }};
  target->GradientFill(vertices, PixelCanvas::MeshRect{1, 0},
                       direction == kLeftToRight ? PixelCanvas::GradientMode::kLeftToRight
                                                 : PixelCanvas::GradientMode::kTopToBottom);
}

void XP_ProgressBar::FillRectColor(const Rect& rect, uint32_t color, PixelCanvas* target) {
  if (target != nullptr) target->FillRect(rect, TranslateSysColor(color));
}

void XP_ProgressBar::FrameRectColor(const Rect& rect, uint32_t color, PixelCanvas* target) {
  if (target != nullptr) target->FrameRect(rect, color);
}

}  // namespace qz

#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/ControlFont.h"
#include "platform/Rect.h"

namespace qz {

// A 32-bit pixel buffer with the few drawing operations the owner-drawn controls need:
// solid fills, 1-pixel frames, single pixels, two-colour gradients and block copies.
// Colours are 0x00BBGGRR (red in the low byte); the top byte of a colour passed in is
// ignored and every stored pixel has it clear. All drawing is clipped to the buffer and
// allocates nothing; only construction and Reset allocate.
class PixelCanvas {
 public:
  // One corner of a gradient: its position and 16-bit channels (the 8-bit value in the
  // high byte). Alpha is carried but not used.
  struct Vertex {
    int32_t x = 0;
    int32_t y = 0;
    uint16_t red = 0;
    uint16_t green = 0;
    uint16_t blue = 0;
    uint16_t alpha = 0;
  };
  // The two vertices, by index into the vertex list, whose positions span one gradient
  // rectangle.
  struct MeshRect {
    uint32_t upperLeft = 0;
    uint32_t lowerRight = 0;
  };
  enum class GradientMode { kLeftToRight = 0, kTopToBottom = 1 };

  PixelCanvas() = default;
  // A black canvas; throws std::bad_alloc when the memory cannot be had.
  PixelCanvas(int32_t width, int32_t height);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  // The pixel at (x, y); 0 outside the canvas.
  uint32_t Pixel(int32_t x, int32_t y) const;
  // Rows top to bottom, Width() pixels each, for the platform's text drawing and display.
  uint32_t* Bits() { return pixels_.data(); }
  const uint32_t* Bits() const { return pixels_.data(); }

  // Gives the canvas a new size with every pixel `color`.
  void Reset(int32_t width, int32_t height, uint32_t color);

  void FillRect(const Rect& rect, uint32_t color);
  // The outermost ring of `rect`: columns left and right - 1, rows top and bottom - 1.
  void FrameRect(const Rect& rect, uint32_t color);
  void SetPixel(int32_t x, int32_t y, uint32_t color);

  // Fills the box that the mesh's two vertices span: min x <= px < max x, min y <= py < max y.
  // Along the mode's axis the vertex at the smaller coordinate is the start S, the other
  // the end E, and the box's extent on that axis is N. The column (or row) at offset j
  // from the start edge gets, per channel, S + (E - S) * j / N on the 16-bit values with
  // the division truncating toward zero, of which the high byte is the 8-bit channel.
  // So the start edge has exactly S's colour and E's colour would be reached at the
  // opposite edge, one pixel beyond the box. Invalid vertex indices fill nothing.
  void GradientFill(std::span<const Vertex> vertices, const MeshRect& mesh, GradientMode mode);

  // Copies the width x height block at (xSrc, ySrc) of `source` to (xDst, yDst) here.
  // Parts outside either canvas are skipped; `source` may be this canvas.
  void CopyFrom(const PixelCanvas& source, int32_t xSrc, int32_t ySrc, int32_t width,
                int32_t height, int32_t xDst, int32_t yDst);

  // The font that text drawn into this canvas uses; returns the one selected before.
  // The canvas does not own it.
  const ControlFont* SelectFont(const ControlFont* font);
  const ControlFont* SelectedFont() const { return font_; }

 private:
  Rect Clip(int64_t left, int64_t top, int64_t right, int64_t bottom) const;
  uint32_t* Row(int32_t y) { return pixels_.data() + static_cast<size_t>(y) * width_; }
  const uint32_t* Row(int32_t y) const { return pixels_.data() + static_cast<size_t>(y) * width_; }

  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint32_t> pixels_;
  const ControlFont* font_ = nullptr;
};

}  // namespace qz

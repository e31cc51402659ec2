#include "platform/PixelCanvas.h"

#include <algorithm>
#include <cstring>

namespace qz {
namespace {

constexpr uint32_t kColorBits = 0x00FFFFFF;

size_t Area(int32_t width, int32_t height) {
  return width > 0 && height > 0 ? static_cast<size_t>(width) * static_cast<size_t>(height) : 0;
}

// One channel at offset j of n along a gradient, as 8 bits.
uint32_t Blend(uint16_t start, uint16_t end, int64_t j, int64_t n) {
  const int64_t value = start + (static_cast<int64_t>(end) - start) * j / n;
  return static_cast<uint32_t>(value >> 8);
}

uint32_t BlendVertices(const PixelCanvas::Vertex& s, const PixelCanvas::Vertex& e, int64_t j,
                       int64_t n) {
  return Blend(s.red, e.red, j, n) | Blend(s.green, e.green, j, n) << 8 |
         Blend(s.blue, e.blue, j, n) << 16;
}

}  // namespace

PixelCanvas::PixelCanvas(int32_t width, int32_t height) {
  Reset(width, height, 0);
}

uint32_t PixelCanvas::Pixel(int32_t x, int32_t y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  return Row(y)[x];
}

void PixelCanvas::Reset(int32_t width, int32_t height, uint32_t color) {
  pixels_.assign(Area(width, height), color & kColorBits);
  const bool empty = pixels_.empty();
  width_ = empty ? 0 : width;
  height_ = empty ? 0 : height;
}

Rect PixelCanvas::Clip(int64_t left, int64_t top, int64_t right, int64_t bottom) const {
  return Rect{static_cast<int32_t>(std::clamp<int64_t>(left, 0, width_)),
              static_cast<int32_t>(std::clamp<int64_t>(top, 0, height_)),
              static_cast<int32_t>(std::clamp<int64_t>(right, 0, width_)),
              static_cast<int32_t>(std::clamp<int64_t>(bottom, 0, height_))};
}

void PixelCanvas::FillRect(const Rect& rect, uint32_t color) {
  const Rect area = Clip(rect.left, rect.top, rect.right, rect.bottom);
  if (area.IsEmpty()) return;
  uint32_t* first = Row(area.top);
  std::fill(first + area.left, first + area.right, color & kColorBits);
  // Copying a row is several times faster than filling one pixel by pixel.
  for (int32_t y = area.top + 1; y < area.bottom; ++y) {
    std::copy(first + area.left, first + area.right, Row(y) + area.left);
  }
}

void PixelCanvas::FrameRect(const Rect& rect, uint32_t color) {
  if (rect.IsEmpty()) return;
  FillRect({rect.left, rect.top, rect.right, rect.top + 1}, color);
  FillRect({rect.left, rect.bottom - 1, rect.right, rect.bottom}, color);
  FillRect({rect.left, rect.top, rect.left + 1, rect.bottom}, color);
  FillRect({rect.right - 1, rect.top, rect.right, rect.bottom}, color);
}

void PixelCanvas::SetPixel(int32_t x, int32_t y, uint32_t color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  Row(y)[x] = color & kColorBits;
}

void PixelCanvas::GradientFill(std::span<const Vertex> vertices, const MeshRect& mesh,
                               GradientMode mode) {
  if (mesh.upperLeft >= vertices.size() || mesh.lowerRight >= vertices.size()) return;
  const Vertex& a = vertices[mesh.upperLeft];
  const Vertex& b = vertices[mesh.lowerRight];
  const int64_t left = std::min(a.x, b.x), right = std::max(a.x, b.x);
  const int64_t top = std::min(a.y, b.y), bottom = std::max(a.y, b.y);
  const Rect area = Clip(left, top, right, bottom);
  if (area.IsEmpty()) return;

  if (mode == GradientMode::kTopToBottom) {
    const Vertex& start = a.y <= b.y ? a : b;
    const Vertex& end = a.y <= b.y ? b : a;
    for (int32_t y = area.top; y < area.bottom; ++y) {
      const uint32_t color = BlendVertices(start, end, y - top, bottom - top);
      std::fill(Row(y) + area.left, Row(y) + area.right, color);
    }
    return;
  }
  const Vertex& start = a.x <= b.x ? a : b;
  const Vertex& end = a.x <= b.x ? b : a;
  uint32_t* first = Row(area.top);
  for (int32_t x = area.left; x < area.right; ++x) {
    first[x] = BlendVertices(start, end, x - left, right - left);
  }
  for (int32_t y = area.top + 1; y < area.bottom; ++y) {
    std::copy(first + area.left, first + area.right, Row(y) + area.left);
  }
}

void PixelCanvas::CopyFrom(const PixelCanvas& source, int32_t xSrc, int32_t ySrc, int32_t width,
                           int32_t height, int32_t xDst, int32_t yDst) {
  int64_t sx = xSrc, sy = ySrc, dx = xDst, dy = yDst, w = width, h = height;
  // Move the block's start inside both canvases, shortening it by what was cut off.
  const int64_t cutX = std::max({int64_t{0}, -sx, -dx});
  const int64_t cutY = std::max({int64_t{0}, -sy, -dy});
  sx += cutX, dx += cutX, w -= cutX;
  sy += cutY, dy += cutY, h -= cutY;
  w = std::min({w, source.width_ - sx, width_ - dx});
  h = std::min({h, source.height_ - sy, height_ - dy});
  if (w <= 0 || h <= 0) return;

  const size_t bytes = static_cast<size_t>(w) * sizeof(uint32_t);
  auto copyRow = [&](int64_t i) {
    std::memmove(Row(static_cast<int32_t>(dy + i)) + dx,
                 source.Row(static_cast<int32_t>(sy + i)) + sx, bytes);
  };
  // Within one canvas, rows go in the order that never overwrites a row still to be read.
  if (&source == this && dy > sy) {
    for (int64_t i = h - 1; i >= 0; --i) copyRow(i);
  } else {
    for (int64_t i = 0; i < h; ++i) copyRow(i);
  }
}

const ControlFont* PixelCanvas::SelectFont(const ControlFont* font) {
  const ControlFont* previous = font_;
  font_ = font;
  return previous;
}

}  // namespace qz

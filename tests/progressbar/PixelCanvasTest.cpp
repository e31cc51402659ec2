#include "platform/PixelCanvas.h"

#include <gtest/gtest.h>

#include <array>

namespace qz {
namespace {

// Every pixel of `canvas` with `color`, as (x, y) pairs counted.
int CountColor(const PixelCanvas& canvas, uint32_t color) {
  int count = 0;
  for (int32_t y = 0; y < canvas.Height(); ++y) {
    for (int32_t x = 0; x < canvas.Width(); ++x) count += canvas.Pixel(x, y) == color;
  }
  return count;
}

PixelCanvas::Vertex At(int32_t x, int32_t y, uint32_t rgb) {
  return {x,
          y,
          static_cast<uint16_t>((rgb & 0xFF) << 8),
          static_cast<uint16_t>(((rgb >> 8) & 0xFF) << 8),
          static_cast<uint16_t>(((rgb >> 16) & 0xFF) << 8),
          0};
}

TEST(PixelCanvasTest, FillsAreHalfOpenClippedAndIgnoreTheTopByte) {
  PixelCanvas canvas(10, 5);
  EXPECT_EQ(CountColor(canvas, 0), 50);  // a new canvas is black

  canvas.FillRect({-3, -3, 2, 2}, 0xFF0000FF);
  EXPECT_EQ(canvas.Pixel(0, 0), 0x0000FFu);
  EXPECT_EQ(canvas.Pixel(1, 1), 0x0000FFu);
  EXPECT_EQ(canvas.Pixel(2, 1), 0u);
  EXPECT_EQ(canvas.Pixel(1, 2), 0u);
  EXPECT_EQ(CountColor(canvas, 0x0000FF), 4);

  canvas.FillRect({5, 1, 5, 4}, 0x00FF00);  // right not greater than left
  canvas.FillRect({5, 3, 9, 2}, 0x00FF00);  // bottom above top
  EXPECT_EQ(CountColor(canvas, 0x00FF00), 0);

  canvas.SetPixel(9, 4, 0x010203);
  canvas.SetPixel(10, 4, 0x010203);
  canvas.SetPixel(-1, 0, 0x010203);
  EXPECT_EQ(CountColor(canvas, 0x010203), 1);
  EXPECT_EQ(canvas.Pixel(10, 4), 0u);
}

TEST(PixelCanvasTest, FrameIsTheOutermostRing) {
  PixelCanvas canvas(6, 5);
  canvas.FrameRect({1, 1, 5, 5}, 0xFFFFFF);
  const std::array<const char*, 5> expected{"......", ".####.", ".#..#.", ".#..#.", ".####."};
  for (int32_t y = 0; y < 5; ++y) {
    for (int32_t x = 0; x < 6; ++x) {
      EXPECT_EQ(canvas.Pixel(x, y), expected[y][x] == '#' ? 0xFFFFFFu : 0u) << x << "," << y;
    }
  }
  PixelCanvas single(3, 3);
  single.FrameRect({1, 0, 2, 3}, 0xFFFFFF);  // one column wide: just that column
  EXPECT_EQ(CountColor(single, 0xFFFFFF), 3);
}

TEST(PixelCanvasTest, GradientRunsFromTheVertexAtTheStartEdgeWhicheverIndexItHas) {
  // Red 0x00 -> 0x60 over 6 rows: row j gets 0x60 * j / 6 = 0x10 * j; the end colour lies
  // one row beyond the box.
  const std::array<PixelCanvas::Vertex, 2> vertices{At(0, 0, 0x000000), At(2, 6, 0x000060)};
  for (PixelCanvas::MeshRect mesh : {PixelCanvas::MeshRect{0, 1}, PixelCanvas::MeshRect{1, 0}}) {
    PixelCanvas canvas(3, 7);
    canvas.FillRect({0, 0, 3, 7}, 0xFFFFFF);
    canvas.GradientFill(vertices, mesh, PixelCanvas::GradientMode::kTopToBottom);
    for (int32_t j = 0; j < 6; ++j) {
      EXPECT_EQ(canvas.Pixel(0, j), 0x10u * j);
      EXPECT_EQ(canvas.Pixel(1, j), 0x10u * j);
    }
    EXPECT_EQ(canvas.Pixel(2, 0), 0xFFFFFFu);
    EXPECT_EQ(canvas.Pixel(0, 6), 0xFFFFFFu);
  }
}

TEST(PixelCanvasTest, HorizontalGradientTruncatesTowardZeroAndClips) {
  // Falling from 0xFF00 to 0x0000 over 3 columns: 0xFF00 - 0xFF00 * j / 3, truncated.
  const std::array<PixelCanvas::Vertex, 2> vertices{At(-1, 0, 0xFF0000), At(2, 2, 0x000000)};
  PixelCanvas canvas(4, 3);
  canvas.GradientFill(vertices, {1, 0}, PixelCanvas::GradientMode::kLeftToRight);
  EXPECT_EQ(canvas.Pixel(0, 0), 0xAA0000u);  // j = 1: 0xFF00 - 0x5500
  EXPECT_EQ(canvas.Pixel(1, 1), 0x550000u);  // j = 2: 0xFF00 - 0xAA00
  EXPECT_EQ(canvas.Pixel(2, 0), 0u);
  EXPECT_EQ(canvas.Pixel(0, 2), 0u);

  canvas.GradientFill(vertices, {0, 2}, PixelCanvas::GradientMode::kLeftToRight);
  EXPECT_EQ(canvas.Pixel(0, 2), 0u);  // an unknown vertex index fills nothing
}

TEST(PixelCanvasTest, CopyClipsBothSidesAndHandlesOverlap) {
  PixelCanvas source(4, 4);
  for (int32_t y = 0; y < 4; ++y) {
    for (int32_t x = 0; x < 4; ++x) source.SetPixel(x, y, static_cast<uint32_t>(y * 4 + x + 1));
  }
  PixelCanvas target(3, 3);
  target.FillRect({0, 0, 3, 3}, 0xFFFFFF);
  target.CopyFrom(source, -1, 1, 10, 10, 0, 0);  // source column -1 does not exist
  EXPECT_EQ(target.Pixel(0, 0), 0xFFFFFFu);
  EXPECT_EQ(target.Pixel(1, 0), 5u);
  EXPECT_EQ(target.Pixel(2, 2), 14u);

  source.CopyFrom(source, 0, 0, 3, 3, 1, 1);
  EXPECT_EQ(source.Pixel(1, 1), 1u);
  EXPECT_EQ(source.Pixel(3, 3), 11u);
  EXPECT_EQ(source.Pixel(0, 0), 1u);
}

}  // namespace
}  // namespace qz

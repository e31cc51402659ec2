#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "FakeUserControlSite.h"
#include "platform/Error.h"
#include "progressbar/XP_ProgressBar.h"

namespace qz {
namespace {

using test::FakeUserControlSite;

constexpr uint32_t kWhite = 0xFFFFFF;

// True when every pixel of the client area in `canvas` is `color`.
bool AllPixels(const PixelCanvas& canvas, int32_t width, int32_t height, uint32_t color) {
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      if (canvas.Pixel(x, y) != color) return false;
    }
  }
  return true;
}

bool SamePixels(const PixelCanvas& a, const PixelCanvas& b) {
  if (a.Width() != b.Width() || a.Height() != b.Height()) return false;
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      if (a.Pixel(x, y) != b.Pixel(x, y)) return false;
    }
  }
  return true;
}

class XP_ProgressBarStateTest : public ::testing::Test {
 protected:
  void SetUp() override { bar.UserControl_Initialize(site); }

  FakeUserControlSite site{200, 20};
  XP_ProgressBar bar;
};

TEST_F(XP_ProgressBarStateTest, StartsWithTheDefaultsAndTwoDrawings) {
  EXPECT_EQ(bar.Min(), 0);
  EXPECT_EQ(bar.Max(), 100);
  EXPECT_EQ(bar.Value(), 0);
  EXPECT_EQ(bar.Orientation(), 0);
  EXPECT_EQ(bar.Scrolling(), 0);
  EXPECT_FALSE(bar.ShowText());
  ASSERT_NE(bar.Font(), nullptr);
  EXPECT_EQ(bar.Font()->name, "Tahoma");
  EXPECT_EQ(bar.Font()->size, 8);
  EXPECT_EQ(bar.Color(), 0xC56A31u);  // the highlight's RGB, not 0x8000000D
  EXPECT_EQ(site.backColor, kWhite);
  EXPECT_EQ(bar.hwnd(), &site);
  ASSERT_NE(bar.HDC(), nullptr);
  EXPECT_NE(bar.HDC(), &site.Surface());
  EXPECT_EQ(bar.HDC()->Width(), 200);
  EXPECT_EQ(site.shows, 2);
  EXPECT_TRUE(SamePixels(*bar.HDC(), site.Surface()));
}

TEST_F(XP_ProgressBarStateTest, ColorResolvesSystemColoursAndKeepsPlainOnes) {
  bar.SetColor(0x80000005);
  EXPECT_EQ(bar.Color(), 0xF0F8FFu);
  bar.SetColor(0x0000FF00);
  EXPECT_EQ(bar.Color(), 0x0000FF00u);
}

TEST_F(XP_ProgressBarStateTest, OnlyValueAndShowTextWritesRedraw) {
  bar.SetValue(50);
  const int shows = site.shows;
  PixelCanvas before(200, 20);
  before.CopyFrom(site.Surface(), 0, 0, 200, 20, 0, 0);

  bar.SetMax(200);
  bar.SetColor(0x0000FF);
  bar.SetOrientation(1);
  bar.SetScrolling(2);
  bar.SetMin(10);
  EXPECT_EQ(site.shows, shows);
  EXPECT_TRUE(SamePixels(before, site.Surface()));

  bar.SetValue(50);
  EXPECT_EQ(site.shows, shows + 1);
  EXPECT_FALSE(SamePixels(before, site.Surface()));
  bar.SetShowText(true);
  EXPECT_EQ(site.shows, shows + 2);
}

TEST_F(XP_ProgressBarStateTest, BufferGrowsButNeverShrinks) {
  site.Resize(100, 20);
  bar.UserControl_Resize();
  const PixelCanvas* wide = bar.HDC();
  site.Resize(200, 20);
  bar.UserControl_Resize();
  EXPECT_EQ(bar.HDC()->Width(), 200);  // unchanged: the buffer was already that wide
  EXPECT_EQ(bar.HDC(), wide);

  site.Resize(300, 20);
  bar.UserControl_Resize();
  EXPECT_EQ(bar.HDC()->Width(), 300);
  bar.SetValue(100);  // draws the right border at column 299
  site.Resize(100, 20);
  bar.UserControl_Resize();
  EXPECT_EQ(bar.HDC()->Width(), 300);
  bar.SetValue(10);

  PixelCanvas target(400, 20);
  target.FillRect({0, 0, 400, 20}, 0x00FF00);
  bar.pDraw(&target, 0, 0, 0, 0, 0, 0);  // size 0: the buffer's whole width
  EXPECT_EQ(target.Pixel(99, 10), 0x686868u);
  EXPECT_EQ(target.Pixel(299, 10), 0x686868u);
  EXPECT_EQ(target.Pixel(300, 10), 0x00FF00u);
}

TEST_F(XP_ProgressBarStateTest, HdcWriteIgnoresTheValuePassed) {
  PixelCanvas other(5, 5);
  PixelCanvas* buffer = bar.HDC();
  bar.SetHDC(&other);
  EXPECT_EQ(bar.HDC(), buffer);
  bar.SetHDC(nullptr);
  EXPECT_EQ(bar.HDC(), buffer);
}

TEST(XP_ProgressBarSizeTest, EmptyWindowDrawsStraightOntoItsSurfaceUntilItGrows) {
  FakeUserControlSite site(0, 0);
  XP_ProgressBar bar;
  bar.UserControl_Initialize(site);
  EXPECT_EQ(bar.HDC(), &site.Surface());
  EXPECT_EQ(site.shows, 2);

  site.Resize(50, 20);
  bar.UserControl_Resize();
  ASSERT_NE(bar.HDC(), &site.Surface());
  EXPECT_EQ(bar.HDC()->Width(), 50);
  bar.SetValue(100);
  EXPECT_EQ(site.Surface().Pixel(25, 10), 0xC56A31u);
}

TEST(XP_ProgressBarSizeTest, TerminatedControlNoLongerReachesItsWindow) {
  auto site = std::make_unique<FakeUserControlSite>(200, 20);
  XP_ProgressBar bar;
  bar.UserControl_Initialize(*site);
  bar.UserControl_Terminate();
  site.reset();
  EXPECT_EQ(bar.HDC(), nullptr);
  EXPECT_EQ(bar.hwnd(), nullptr);
  EXPECT_NO_THROW(bar.SetValue(30));
  EXPECT_EQ(bar.Value(), 30);
}

TEST_F(XP_ProgressBarStateTest, EmptyRangeStopsWithDivisionByZeroLeavingOnlyWhite) {
  bar.SetValue(50);
  const int shows = site.shows;
  PixelCanvas before(200, 20);
  before.CopyFrom(site.Surface(), 0, 0, 200, 20, 0, 0);
  bar.SetMin(40);
  bar.SetMax(40);

  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      if (attempt == 0) bar.SetValue(40);  // 0 / 0 counts as a division by zero too
      if (attempt == 1) bar.SetShowText(true);
      ADD_FAILURE() << "no error";
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), Error::kDivisionByZero);
      EXPECT_EQ(error.Description(), "Division by zero");
    }
    EXPECT_TRUE(AllPixels(*bar.HDC(), 200, 20, kWhite));
    EXPECT_EQ(site.shows, shows);
    EXPECT_TRUE(SamePixels(before, site.Surface()));
  }
  EXPECT_EQ(bar.Value(), 40);
  EXPECT_TRUE(bar.ShowText());
}

TEST_F(XP_ProgressBarStateTest, DifferencesOutsideThirtyTwoBitsStopWithOverflow) {
  constexpr int32_t kLow = std::numeric_limits<int32_t>::min();
  constexpr int32_t kHigh = std::numeric_limits<int32_t>::max();
  struct Range {
    int32_t min, max, value;
  };
  for (const Range& range : {Range{kLow, kHigh, 0}, Range{-1, 100, kHigh}, Range{1, kLow, 0}}) {
    bar.SetMin(range.min);
    bar.SetMax(range.max);
    try {
      bar.SetValue(range.value);
      ADD_FAILURE() << range.min << ".." << range.max << " at " << range.value;
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), Error::kOverflow);
      EXPECT_EQ(error.Description(), "Overflow");
    }
    EXPECT_EQ(bar.Value(), range.value);
    EXPECT_TRUE(AllPixels(*bar.HDC(), 200, 20, kWhite));
  }
  // Large ranges that fit draw normally, with or without the text.
  bar.SetMin(0);
  bar.SetMax(2'000'000'000);
  bar.SetShowText(true);
  EXPECT_NO_THROW(bar.SetValue(1'000'000'000));
  EXPECT_EQ(site.texts.back().text, "50 %");
}

TEST(XP_ProgressBarColorTest, LightenColorBlendsTowardWhite) {
  const uint32_t c = 0xC56A31;
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 150), 0xE7C1AAu);
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 220), 0xF7EAE2u);
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 200), 0xF2DED2u);
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 180), 0xEDD3C2u);
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 160), 0xE9C7B2u);
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 140), 0xE4BBA2u);
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 120), 0xE0B091u);
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 0), c);
  EXPECT_EQ(XP_ProgressBar::LightenColor(c, 255), 0xFFFFFFu);
}

TEST(XP_ProgressBarColorTest, SplitColorPutsEachChannelInTheHighByte) {
  EXPECT_EQ(XP_ProgressBar::SplitColor(0xE7C1AA),
            (XP_ProgressBar::VertexColor{0xAA00, 0xC100, 0xE700}));
  EXPECT_EQ(XP_ProgressBar::SplitColor(0x0000FF), (XP_ProgressBar::VertexColor{0xFF00, 0, 0}));
}

}  // namespace
}  // namespace qz

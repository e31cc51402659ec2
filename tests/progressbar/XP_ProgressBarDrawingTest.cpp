#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "FakeUserControlSite.h"
#include "progressbar/XP_ProgressBar.h"

namespace qz {
namespace {

using test::FakeUserControlSite;

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBar = 0xC56A31;    // the fake highlight colour
constexpr uint32_t kLight = 0xE7C1AA;  // LightenColor(kBar, 150)
constexpr uint32_t kDark = 0x686868;
constexpr uint32_t kGrey = 0xBEBEBE;
constexpr uint32_t kPale = 0xEFEFEF;
// Shades of a 6-pixel band from kLight (offset 0) toward kBar, and back.
constexpr uint32_t kLightToBar[5] = {0xE7C1AA, 0xE1B295, 0xDBA481, 0xD6956D, 0xD08759};
constexpr uint32_t kBarToLight1 = 0xCA7845;  // one pixel into a band from kBar toward kLight
constexpr uint32_t kBarToLight5 = 0xE1B295;  // five pixels in

class Bar {
 public:
  Bar(int32_t width, int32_t height, int32_t scrolling, int32_t orientation) : site(width, height) {
    bar.UserControl_Initialize(site);
    bar.SetScrolling(scrolling);
    bar.SetOrientation(orientation);
  }
  uint32_t At(int32_t x, int32_t y) const { return bar.HDC()->Pixel(x, y); }

  FakeUserControlSite site;
  XP_ProgressBar bar;
};

struct FillCase {
  int32_t value;
  int32_t edge;  // FR horizontally, FT vertically
};

class HorizontalFillTest : public ::testing::TestWithParam<FillCase> {};
class VerticalFillTest : public ::testing::TestWithParam<FillCase> {};

TEST_P(HorizontalFillTest, FillEndsOnTheBlockGridRoundedDown) {
  Bar b(200, 20, XP_ProgressBar::kContinuous, XP_ProgressBar::kHorizontal);
  b.bar.SetValue(GetParam().value);
  const int32_t fr = GetParam().edge;
  for (int32_t x = 2; x < 198; ++x) {
    EXPECT_EQ(b.At(x, 10), x < fr ? kBar : kWhite) << "column " << x;
  }
}

TEST_P(VerticalFillTest, FillStartsOnTheGridFromTheBottomTwoHundredthsAhead) {
  Bar b(20, 200, XP_ProgressBar::kContinuous, XP_ProgressBar::kVertical);
  b.bar.SetValue(GetParam().value);
  const int32_t ft = GetParam().edge;
  for (int32_t y = 3; y < 198; ++y) {
    EXPECT_EQ(b.At(10, y), y >= ft ? kBar : kWhite) << "row " << y;
  }
}

INSTANTIATE_TEST_SUITE_P(WorkedExamples, HorizontalFillTest,
                         ::testing::Values(FillCase{47, 90}, FillCase{50, 100}, FillCase{0, 0},
                                           FillCase{100, 200}, FillCase{99, 190}));
INSTANTIATE_TEST_SUITE_P(WorkedExamples, VerticalFillTest,
                         ::testing::Values(FillCase{47, 110}, FillCase{50, 100}, FillCase{0, 200},
                                           FillCase{100, 0}, FillCase{99, 0}));

TEST(XP_ProgressBarDrawingTest, ValuesOutsideTheRangeDrawAsItsEnds) {
  for (int32_t orientation : {XP_ProgressBar::kHorizontal, XP_ProgressBar::kVertical}) {
    for (auto [outside, end] : {std::pair{150, 100}, std::pair{-7, 0}}) {
      Bar expected(60, 60, XP_ProgressBar::kSegmented, orientation);
      expected.bar.SetValue(end);
      Bar actual(60, 60, XP_ProgressBar::kSegmented, orientation);
      actual.bar.SetValue(outside);
      EXPECT_EQ(actual.bar.Value(), outside);
      for (int32_t y = 0; y < 60; ++y) {
        for (int32_t x = 0; x < 60; ++x) ASSERT_EQ(actual.At(x, y), expected.At(x, y));
      }
    }
  }
}

TEST(XP_ProgressBarDrawingTest, SegmentedHorizontalBlocksAndSeparators) {
  Bar b(200, 20, XP_ProgressBar::kSegmented, XP_ProgressBar::kHorizontal);
  b.bar.SetValue(47);
  for (int32_t x = 2; x < 198; ++x) {
    const bool block = x < 90 && x % 10 >= 2;
    EXPECT_EQ(b.At(x, 10), block ? kBar : kWhite) << "column " << x;
  }
  // The gaps cross the whole bar up to the border.
  EXPECT_EQ(b.At(10, 3), kWhite);
  EXPECT_EQ(b.At(11, 17), kWhite);

  b.bar.SetValue(0);  // nothing but background and border
  for (int32_t x = 2; x < 198; ++x) EXPECT_EQ(b.At(x, 10), kWhite);
}

TEST(XP_ProgressBarDrawingTest, HorizontalBandsShadeFromLightToFullAndBack) {
  Bar b(200, 20, XP_ProgressBar::kSegmented, XP_ProgressBar::kHorizontal);
  b.bar.SetValue(47);
  for (int32_t row = 3; row < 8; ++row) EXPECT_EQ(b.At(5, row), kLightToBar[row - 3]) << row;
  for (int32_t row = 8; row < 13; ++row) EXPECT_EQ(b.At(5, row), kBar) << row;
  EXPECT_EQ(b.At(5, 13), kBarToLight1);
  EXPECT_EQ(b.At(5, 17), kBarToLight5);
  EXPECT_EQ(b.At(5, 2), kPale);
  EXPECT_EQ(b.At(2, 10), kBar);  // the bar starts right after the inner border ring
  EXPECT_EQ(b.At(1, 10), kPale);
}

TEST(XP_ProgressBarDrawingTest, VerticalBandsShadeAcrossAndRunToTheBottom) {
  Bar b(20, 200, XP_ProgressBar::kContinuous, XP_ProgressBar::kVertical);
  b.bar.SetValue(47);  // FT = 110
  for (int32_t row : {110, 150, 197}) {
    for (int32_t col = 2; col < 7; ++col) EXPECT_EQ(b.At(col, row), kLightToBar[col - 2]);
    for (int32_t col = 7; col < 13; ++col) EXPECT_EQ(b.At(col, row), kBar);
    EXPECT_EQ(b.At(13, row), kBarToLight1);
    EXPECT_EQ(b.At(17, row), kBarToLight5);
  }
  EXPECT_EQ(b.At(3, 109), kWhite);
  EXPECT_EQ(b.At(17, 109), kWhite);
}

TEST(XP_ProgressBarDrawingTest, SegmentedVerticalGapsCountFromTheBottom) {
  Bar b(20, 200, XP_ProgressBar::kSegmented, XP_ProgressBar::kVertical);
  b.bar.SetValue(47);  // FT = 110: gaps at rows 118-119, ..., 188-189, and 198-199 under the border
  for (int32_t y = 3; y < 198; ++y) {
    const bool block = y >= 110 && y % 10 < 8;
    EXPECT_EQ(b.At(10, y), block ? kBar : kWhite) << "row " << y;
  }
}

TEST(XP_ProgressBarDrawingTest, BorderRingsAndCornerPixels) {
  Bar b(200, 20, XP_ProgressBar::kSegmented, XP_ProgressBar::kHorizontal);
  b.bar.SetValue(100);
  for (auto [x, y] : {std::pair{0, 0},
                      {199, 0},
                      {0, 19},
                      {199, 19},
                      {100, 0},
                      {100, 19},
                      {0, 10},
                      {199, 10},
                      {1, 1},
                      {198, 1},
                      {1, 18},
                      {198, 18}}) {
    EXPECT_EQ(b.At(x, y), kDark) << x << "," << y;
  }
  EXPECT_EQ(b.At(2, 1), kGrey);
  EXPECT_EQ(b.At(197, 1), kGrey);
  for (auto [x, y] :
       {std::pair{2, 2}, {197, 2}, {1, 2}, {1, 17}, {198, 2}, {198, 17}, {2, 18}, {197, 18}}) {
    EXPECT_EQ(b.At(x, y), kPale) << x << "," << y;
  }
}

TEST(XP_ProgressBarDrawingTest, PaintRemovesThreePixelsAtEachCorner) {
  // (width, height) -> pixels that the window region removes
  for (auto [width, height] : {std::pair{200, 20}, std::pair{2, 22}}) {
    Bar b(width, height, XP_ProgressBar::kSegmented, XP_ProgressBar::kHorizontal);
    b.bar.UserControl_Paint();
    ASSERT_TRUE(b.site.regionBounds.has_value());
    EXPECT_EQ(*b.site.regionBounds, (Rect{0, 0, width, height}));
    std::set<std::pair<int32_t, int32_t>> removed;
    for (const Rect& r : b.site.regionRemoved) {
      for (int32_t y = r.top; y < r.bottom; ++y) {
        for (int32_t x = r.left; x < r.right; ++x) removed.insert({x, y});
      }
    }
    const int32_t r = width, bt = height;
    const std::set<std::pair<int32_t, int32_t>> expected{
        {0, 0},     {1, 0},     {0, 1},     {0, bt - 1},     {1, bt - 1},     {0, bt - 2},
        {r - 2, 0}, {r - 1, 0}, {r - 1, 1}, {r - 2, bt - 1}, {r - 1, bt - 1}, {r - 1, bt - 2}};
    EXPECT_EQ(removed, expected);
    EXPECT_EQ(removed.size(), width == 2 ? 8u : 12u);  // on a 2-pixel control the corners overlap
  }
}

TEST(XP_ProgressBarDrawingTest, SearchingBlocksFollowTheFillEdgePalestFirst) {
  Bar b(200, 20, XP_ProgressBar::kSearching, XP_ProgressBar::kHorizontal);
  b.bar.SetValue(50);  // FR = 100
  for (int32_t x = 2; x < 198; ++x) {
    uint32_t expected = kWhite;
    if (x >= 100 && x < 110) expected = 0xF2DED2;  // L(200)
    if (x >= 112 && x < 122) expected = 0xE9C7B2;  // L(160)
    if (x >= 124 && x < 134) expected = 0xE0B091;  // L(120)
    EXPECT_EQ(b.At(x, 10), expected) << "column " << x;
  }
  EXPECT_EQ(b.At(100, 3), 0xF7EAE2u);  // L(220)
  EXPECT_EQ(b.At(112, 3), 0xEDD3C2u);  // L(180)
  EXPECT_EQ(b.At(124, 3), 0xE4BBA2u);  // L(140)
}

TEST(XP_ProgressBarDrawingTest, VerticalSearchingBandsShadeDownwards) {
  Bar b(20, 200, XP_ProgressBar::kSearching, XP_ProgressBar::kVertical);
  b.bar.SetValue(50);  // FT = 100
  EXPECT_EQ(b.At(10, 100), 0xF2DED2u);
  EXPECT_EQ(b.At(10, 109), 0xF2DED2u);
  EXPECT_EQ(b.At(10, 110), kWhite);
  EXPECT_EQ(b.At(10, 112), 0xE9C7B2u);
  EXPECT_EQ(b.At(10, 124), 0xE0B091u);
  EXPECT_EQ(b.At(2, 100), 0xF7EAE2u);  // left band darkens downwards
  EXPECT_EQ(b.At(2, 109), 0xF2DFD3u);
  EXPECT_EQ(b.At(12, 100), 0xF2DED2u);  // right band lightens downwards
  EXPECT_EQ(b.At(12, 109), 0xF6E8E0u);
  EXPECT_EQ(b.At(10, 99), kWhite);
}

TEST(XP_ProgressBarDrawingTest, StatusTextIsAPercentageOfTheRange) {
  Bar b(200, 20, XP_ProgressBar::kSegmented, XP_ProgressBar::kHorizontal);
  b.bar.SetValue(40);
  EXPECT_TRUE(b.site.texts.empty());

  b.bar.SetShowText(true);
  ASSERT_EQ(b.site.texts.size(), 1u);
  const FakeUserControlSite::TextCall& call = b.site.texts.back();
  EXPECT_EQ(call.text, "40 %");
  EXPECT_EQ(call.rect, (Rect{0, 0, 200, 20}));
  EXPECT_EQ(call.color, 0u);
  ASSERT_TRUE(call.font.has_value());
  EXPECT_EQ(call.font->name, "Tahoma");
  EXPECT_EQ(b.bar.HDC()->SelectedFont(), nullptr);

  b.bar.SetValue(150);
  EXPECT_EQ(b.site.texts.back().text, "150 %");
  b.bar.SetMax(200);
  b.bar.SetValue(50);
  EXPECT_EQ(b.site.texts.back().text, "25 %");
  b.bar.SetMin(100);
  b.bar.SetMax(0);  // a reversed range counts down
  b.bar.SetValue(100);
  EXPECT_EQ(b.site.texts.back().text, "0 %");
  b.bar.SetMin(0);
  b.bar.SetMax(3);
  b.bar.SetValue(1);
  EXPECT_EQ(b.site.texts.back().text, "33.3333333333333 %");
  b.bar.SetScrolling(XP_ProgressBar::kSearching);
  b.bar.SetValue(2);
  EXPECT_EQ(b.site.texts.back().text, "Searching..");
}

}  // namespace
}  // namespace qz

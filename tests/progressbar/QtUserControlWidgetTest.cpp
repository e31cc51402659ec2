#include "platform/qt/QtUserControlWidget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPalette>
#include <QRegion>
#include <memory>

#include "progressbar/XP_ProgressBar.h"

namespace qz {
namespace {

// The Qt application the widget tests need, made once for the whole test program and
// gone before the program's exit handlers run.
class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (QApplication::instance() != nullptr) return;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    application_ = std::make_unique<QApplication>(argc_, argv_);
  }
  void TearDown() override { application_.reset(); }

 private:
  int argc_ = 1;
  char name_[18] = "progressbar_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> application_;
};

const ::testing::Environment* const qtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

class QtUserControlWidgetTest : public ::testing::Test {
 protected:
  // A progress bar in a window of `width` x `height` on a shown parent, painted once.
  QtUserControlWidget& Place(int width, int height) {
    widget = new QtUserControlWidget(&parent, bar);
    widget->setGeometry(5, 5, width, height);
    parent.resize(400, 100);
    parent.show();
    QApplication::processEvents();
    widget->repaint();
    return *widget;
  }

  XP_ProgressBar bar;
  QWidget parent;
  QtUserControlWidget* widget = nullptr;
};

TEST_F(QtUserControlWidgetTest, WindowLosesExactlyItsTwelveCornerPixels) {
  QtUserControlWidget& w = Place(295, 22);
  const QRegion mask = w.mask();
  int removed = 0;
  for (int y = 0; y < 22; ++y) {
    for (int x = 0; x < 295; ++x) removed += !mask.contains(QPoint(x, y));
  }
  EXPECT_EQ(removed, 12);
  for (QPoint p : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(293, 21), QPoint(294, 20)}) {
    EXPECT_FALSE(mask.contains(p)) << p.x() << "," << p.y();
  }
  EXPECT_TRUE(mask.contains(QPoint(1, 1)));
  EXPECT_TRUE(mask.contains(QPoint(293, 20)));
}

TEST_F(QtUserControlWidgetTest, TwoPixelWideWindowKeepsOnlyItsMiddleRows) {
  const QRegion mask = Place(2, 22).mask();
  for (int y = 0; y < 22; ++y) {
    const bool kept = y >= 2 && y < 20;
    EXPECT_EQ(mask.contains(QPoint(0, y)), kept) << y;
    EXPECT_EQ(mask.contains(QPoint(1, y)), kept) << y;
  }
}

TEST_F(QtUserControlWidgetTest, ShowsThePixelsTheControlPresented) {
  QtUserControlWidget& w = Place(295, 22);
  bar.SetColor(0x0000FF);
  bar.SetValue(50);
  EXPECT_EQ(bar.HDC()->Width(), 295);
  EXPECT_EQ(w.Surface().Pixel(105, 10), 0x0000FFu);
  const QImage shown = w.grab().toImage();
  EXPECT_EQ(shown.pixelColor(105, 10), QColor(255, 0, 0));
  EXPECT_EQ(shown.pixelColor(200, 10), QColor(255, 255, 255));
  EXPECT_EQ(shown.pixelColor(0, 10), QColor(0x68, 0x68, 0x68));
}

TEST_F(QtUserControlWidgetTest, StatusTextIsBlackInTheMiddleOnly) {
  QtUserControlWidget& w = Place(295, 22);
  auto blackPixels = [&](int fromX, int toX) {
    int count = 0;
    for (int y = 0; y < 22; ++y) {
      for (int x = fromX; x < toX; ++x) count += w.Surface().Pixel(x, y) == 0;
    }
    return count;
  };
  bar.SetValue(40);
  EXPECT_EQ(blackPixels(0, 295), 0);
  bar.SetShowText(true);
  EXPECT_GT(blackPixels(120, 175), 10);
  EXPECT_EQ(blackPixels(0, 100) + blackPixels(195, 295), 0);
  for (int y = 0; y < 22; ++y) {
    for (int x = 0; x < 295; ++x) ASSERT_EQ(bar.HDC()->Pixel(x, y) >> 24, 0u);
  }
}

TEST_F(QtUserControlWidgetTest, PaintSwallowsDrawingErrors) {
  QtUserControlWidget& w = Place(100, 20);
  bar.SetMin(7);
  bar.SetMax(7);
  EXPECT_NO_THROW(w.repaint());
  EXPECT_NO_THROW(w.grab());
}

TEST_F(QtUserControlWidgetTest, SystemColoursComeFromThePalette) {
  QtUserControlWidget& w = Place(100, 20);
  auto rgb = [](const QColor& c) {
    return static_cast<uint32_t>(c.red() | c.green() << 8 | c.blue() << 16);
  };
  EXPECT_EQ(w.SysColor(13), rgb(w.palette().color(QPalette::Active, QPalette::Highlight)));
  EXPECT_EQ(bar.Color(), w.SysColor(13));
  EXPECT_EQ(w.SysColor(5), rgb(w.palette().color(QPalette::Active, QPalette::Base)));
  EXPECT_EQ(w.SysColor(15), rgb(w.palette().color(QPalette::Active, QPalette::Button)));
  EXPECT_EQ(w.SysColor(25), 0u);
  EXPECT_EQ(w.SysColor(31), 0u);
  EXPECT_EQ(w.SysColor(-1), 0u);
}

TEST_F(QtUserControlWidgetTest, DestroyingTheWindowTerminatesTheControl) {
  Place(100, 20);
  ASSERT_NE(bar.HDC(), nullptr);
  delete widget;
  EXPECT_EQ(bar.HDC(), nullptr);
  EXPECT_EQ(bar.hwnd(), nullptr);
  EXPECT_NO_THROW(bar.SetValue(10));
}

}  // namespace
}  // namespace qz

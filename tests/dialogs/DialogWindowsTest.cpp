#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include "dialogs/frmCheckQzUpdate.h"
#include "dialogs/frmDownloadUpdate.h"
#include "dialogs/frmInstallUpdate.h"
#include "dialogs/frmNeedsNoUpdate.h"
#include "platform/qt/QtApplication.h"
#include "platform/qt/QtFormHost.h"
#include "progressbar/XP_ProgressBar.h"
#include "support/UpdaterFixture.h"

namespace qz::test {
namespace {

// After loading, every dialog shows its design fonts with "MS Sans Serif" replaced.
class DialogFontsTest : public UpdaterFixture {
 protected:
  template <typename Dialog>
  void ExpectSubstituted(Dialog& dialog) {
    SCOPED_TRACE(dialog.Caption());
    const FontSpec& message = dialog.FindControl("lblMsg1")->FontState();
    EXPECT_EQ(message.name, "Microsoft Sans Serif");
    EXPECT_EQ(message.size, 12);
    EXPECT_TRUE(message.bold);
    EXPECT_EQ(dialog.FindControl("cmdCancel")->FontState().name, "Microsoft Sans Serif");
    EXPECT_EQ(dialog.FindControl("Frame1")->FontState().name, "Microsoft Sans Serif");
  }
};

TEST_F(DialogFontsTest, EveryDialogSubstitutesItsFontsWhenItLoads) {
  mQzUpdate& started = Start("/Verbose");
  started.App.ApplicationPath = app.Path();
  auto check = started.Forms.CheckQzUpdate();
  auto needsNo = started.Forms.NeedsNoUpdate();
  auto download = started.Forms.DownloadUpdate();
  check->EnsureLoaded();
  needsNo->EnsureLoaded();
  download->EnsureLoaded();
  ExpectSubstituted(*check);
  ExpectSubstituted(*needsNo);
  ExpectSubstituted(*download);
  EXPECT_EQ(download->FindControl("ProgressBar")->FontState().name, "Tahoma");
  EXPECT_EQ(download->FindControl("cmdIRN")->FontState().size, 9.75);

  // The install dialog's loading runs the installation, which fails here without an
  // archive; the fonts were substituted before that.
  auto install = started.Forms.InstallUpdate();
  EXPECT_TRUE(Ends([&] { install->EnsureLoaded(); }));
  EXPECT_EQ(Titles(), "Cannot UnCompress ...");
  ExpectSubstituted(*install);
}

// The download dialog in a real (offscreen) window: the bar moves at the fixed points.
QtFormHost& Windows() {
  QtApplication::Ensure();
  static QtFormHost windows;
  return windows;
}

class DownloadWindowTest : public UpdaterFixture {
 protected:
  DownloadWindowTest() : UpdaterFixture(&Windows()) {
    InstallVersion("1.2");
    Publish("1.3");
  }
};

TEST_F(DownloadWindowTest, BarFillsToTheTenPixelGridAtEachStep) {
  mQzUpdate& module = Start("/Verbose");
  std::vector<QImage> shots;
  prompts.onDoEvents = [&](int count) {
    // Yields 3, 5 and 6 follow the values 20 (after the first set), 60 and 100.
    if (count != 3 && count != 5 && count != 6) return;
    auto dialog = module.Forms.DownloadUpdate();
    QWidget* bar = Windows().WidgetOf(*dialog, "ProgressBar");
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->size(), QSize(295, 22));
    shots.push_back(bar->grab().toImage());
    shots.back().save(QString::fromStdString(app / ("bar-" + std::to_string(count) + ".png")));
  };
  module.Main();
  ASSERT_EQ(shots.size(), 3u);
  const QRgb color = module.Forms.DownloadUpdate()->ProgressBar().Color();
  const QRgb highlight = qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
  const QRgb white = qRgb(255, 255, 255);
  // Solid middle rows run from 8 to 15; the fill ends at 50, 170 and 290 pixels.
  const int ends[] = {50, 170, 290};
  for (size_t i = 0; i < shots.size(); ++i) {
    SCOPED_TRACE(ends[i]);
    const QImage& shot = shots[i];
    EXPECT_EQ(shot.pixel(ends[i] - 5, 11) | 0xFF000000, highlight);
    EXPECT_EQ(shot.pixel(ends[i] + 1, 11) | 0xFF000000, white);
    EXPECT_EQ(shot.pixel(10, 11) | 0xFF000000, white);  // the first gap between blocks
    EXPECT_EQ(shot.pixel(0, 11) | 0xFF000000, qRgb(0x68, 0x68, 0x68));  // the border
  }
  EXPECT_FALSE(Windows().WidgetOf(*module.Forms.DownloadUpdate(), "ProgressBar")->isVisible());
  module.Forms.DownloadUpdate()->Unload();
}

}  // namespace
}  // namespace qz::test

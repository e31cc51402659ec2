#include "platform/qt/Artwork.h"

#include <gtest/gtest.h>

#include <QDir>

#include "platform/qt/ArtworkPainter.h"
#include "platform/qt/QtApplication.h"
#include "support/TempDir.h"

namespace qz {
namespace {

TEST(ArtworkTest, PictureFillsTheDialogsPictureArea) {
  QtApplication::Ensure();
  QImage picture = Artwork::Picture();
  EXPECT_EQ(picture.size(), QSize(500, 316));
  EXPECT_FALSE(picture.hasAlphaChannel());
  // The emblem on the left stands out from the gradient around it.
  EXPECT_NE(picture.pixelColor(90, 128), picture.pixelColor(10, 128));
}

// The pixels that the build embedded are the painter's, in the format each is read as.
TEST(ArtworkTest, EmbeddedArtworkIsWhatThePainterPaints) {
  QtApplication::Ensure();
  EXPECT_EQ(Artwork::Picture(), ArtworkPainter::Picture());
  for (int size : {16, 32, 48}) {
    const QImage embedded = Artwork::Icon().pixmap(size).toImage();
    EXPECT_EQ(embedded.convertToFormat(QImage::Format_ARGB32_Premultiplied),
              ArtworkPainter::Emblem(size))
        << size;
  }
}

TEST(ArtworkTest, IconIsTheEmblemOnATransparentSquare) {
  QtApplication::Ensure();
  QImage emblem = Artwork::Emblem(32);
  EXPECT_EQ(emblem.size(), QSize(32, 32));
  EXPECT_EQ(emblem.pixelColor(0, 0).alpha(), 0) << "corners outside the disk are clear";
  EXPECT_EQ(emblem.pixelColor(16, 3).alpha(), 255);
  QIcon icon = Artwork::Icon();
  EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(16, 16), QSize(32, 32), QSize(48, 48)}));

  test::TempDir dir;
  EXPECT_TRUE(emblem.save(QString::fromStdString(dir / "icon.png")));
  QDir().mkpath("/tmp/qthost-shots");
  emblem.save("/tmp/qthost-shots/icon32.png");
  Artwork::Emblem(128).save("/tmp/qthost-shots/icon128.png");
  Artwork::Picture().save("/tmp/qthost-shots/picture.png");
}

}  // namespace
}  // namespace qz

#include "platform/qt/Artwork.h"

#include <QPixmap>

#include "platform/qt/ArtworkPixels.h"

namespace qz {
namespace {

QImage Embedded(const uint32_t* pixels, int width, int height, QImage::Format format) {
  return QImage(reinterpret_cast<const uchar*>(pixels), width, height, width * 4, format);
}

}  // namespace

QImage Artwork::Picture() {
  return Embedded(ArtworkPixels::Picture(), kPictureWidth, kPictureHeight, QImage::Format_RGB32);
}

QImage Artwork::Emblem(int size) {
  return ArtworkPainter::Emblem(size);
}

QIcon Artwork::Icon() {
  QIcon icon;
  for (int size : ArtworkPixels::kEmblemSizes) {
    icon.addPixmap(QPixmap::fromImage(
        Embedded(ArtworkPixels::Emblem(size), size, size, QImage::Format_ARGB32_Premultiplied)));
  }
  return icon;
}

}  // namespace qz

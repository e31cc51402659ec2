#pragma once

#include <QIcon>
#include <QImage>

#include "platform/qt/ArtworkPainter.h"

namespace qz {

// The dialogs' own artwork: the background picture and the icon, painted by
// ArtworkPainter when the program was built, so a start only wraps the pixels.
class Artwork {
 public:
  static constexpr int kPictureWidth = ArtworkPainter::kPictureWidth;
  static constexpr int kPictureHeight = ArtworkPainter::kPictureHeight;

  // The picture beneath every dialog (see ArtworkPainter::Picture); read-only pixels that
  // a change copies first.
  static QImage Picture();

  // The emblem alone, `size` pixels square; painted now, as any size may be asked for.
  static QImage Emblem(int size);

  // The dialogs' icon: the emblem at 16, 32 and 48 pixels.
  static QIcon Icon();
};

}  // namespace qz

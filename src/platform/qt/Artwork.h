#pragma once

#include <QIcon>
#include <QImage>

namespace qz {

// The dialogs' own artwork, painted by code: the background picture and the icon.
class Artwork {
 public:
  static constexpr int kPictureWidth = 500;
  static constexpr int kPictureHeight = 316;

  // The picture beneath every dialog: a calm blue gradient with soft arcs and the
  // update emblem and a title on the left. Its right part lies behind the white message
  // panel. Needs the application object (the title is text).
  static QImage Picture();

  // The emblem alone, `size` pixels square: a circular pair of arrows on a blue disk.
  static QImage Emblem(int size);

  // The dialogs' icon: the emblem at 16, 32 and 48 pixels.
  static QIcon Icon();
};

}  // namespace qz

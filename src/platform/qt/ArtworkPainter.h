#pragma once

#include <QImage>

namespace qz {

// Paints the dialogs' artwork in software. Too slow for every start (7-10 ms for the
// picture), so the build runs it once and embeds the pixels (ArtworkPixels).
class ArtworkPainter {
 public:
  static constexpr int kPictureWidth = 500;
  static constexpr int kPictureHeight = 316;

  // The picture beneath every dialog, kPictureWidth x kPictureHeight pixels (RGB32): a calm blue
  // gradient with soft arcs and the update emblem and a title on the left. Its right part lies
  // behind the white message panel. Needs the application object (the title is text).
  static QImage Picture();

  // The emblem alone, `size` pixels square: a circular pair of arrows on a blue disk, on
  // a transparent square (premultiplied ARGB).
  static QImage Emblem(int size);
};

}  // namespace qz

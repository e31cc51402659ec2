#pragma once

#include <cstdint>

namespace qz {

// The dialogs' artwork as ArtworkPainter painted it while the program was built; the build
// generates the definitions (tools/MakeArtworkPixels.cpp). Pixels are 32-bit values
// 0xAARRGGBB, row by row without padding.
class ArtworkPixels {
 public:
  // The emblem sizes that are embedded, the icon's sizes.
  static constexpr int kEmblemSizes[] = {16, 32, 48};

  // ArtworkPainter::Picture(): opaque, kPictureWidth x kPictureHeight.
  static const uint32_t* Picture();
  // ArtworkPainter::Emblem(size), premultiplied alpha; nullptr for a size not embedded.
  static const uint32_t* Emblem(int size);
};

}  // namespace qz

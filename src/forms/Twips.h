#pragma once

namespace qz {

// Twips to whole pixels at 15 twips a pixel, rounded to the nearest pixel (a design value
// never lies halfway): -25 twips is -2 pixels, 2650 twips is 177 pixels. Positions and
// sizes are rounded each on its own, as the design values are.
constexpr int TwipsToPixels(int twips) {
  constexpr int kTwipsPerPixel = 15;
  constexpr int kHalf = kTwipsPerPixel / 2;
  return (twips < 0 ? twips - kHalf : twips + kHalf) / kTwipsPerPixel;
}

}  // namespace qz

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

// Twips to whole pixels on a screen of `dotsPerInch` (1440 twips an inch), rounded to the
// nearest pixel, halves away from zero. At 96 dots an inch this equals TwipsToPixels.
constexpr int TwipsToPixels(int twips, int dotsPerInch) {
  constexpr long long kTwipsPerInch = 1440;
  const long long scaled = static_cast<long long>(twips) * dotsPerInch * 2;
  const long long rounded = (scaled < 0 ? scaled - kTwipsPerInch : scaled + kTwipsPerInch);
  return static_cast<int>(rounded / (2 * kTwipsPerInch));
}

}  // namespace qz

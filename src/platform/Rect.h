#pragma once

#include <cstdint>

namespace qz {

// A pixel rectangle, half-open: left <= x < right, top <= y < bottom. A rectangle whose
// right is not greater than its left, or whose bottom is not greater than its top, is empty.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  bool IsEmpty() const { return right <= left || bottom <= top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace qz

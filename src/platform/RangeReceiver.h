#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/ByteRange.h"

namespace qz {

// Takes the parts of a file that a range request delivers, in the order the server sends
// them (which need not be the order asked for). Called on the requesting thread; no call
// may throw, they run inside the transfer library. Returning false from any call stops
// the transfer at once (UrlServices::kAborted).
class RangeReceiver {
 public:
  // Bytes past the last of a whole file whose length the server did not declare.
  static constexpr uint64_t kUnknownLast = UINT64_MAX;

  virtual ~RangeReceiver() = default;

  // A part begins: its bytes `part.first` to `part.last` follow through OnBytes. A 200 to
  // a request for one range is the whole file: one part from byte 0, whose last byte is
  // kUnknownLast when the server gave no length.
  virtual bool OnPart(const ByteRange& part) = 0;
  // The next `size` bytes of the current part, the first of them at `offset` in the file.
  virtual bool OnBytes(uint64_t offset, const char* data, size_t size) = 0;
  // Called regularly while the transfer lasts, also while nothing arrives.
  virtual bool OnTick() { return true; }
};

}  // namespace qz

#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/TransferObserver.h"

namespace qz::test {

// Cancels a transfer once more than `limit` bytes have arrived.
class CancelAfter : public TransferObserver {
 public:
  explicit CancelAfter(uint64_t limit) : limit_(limit) {}
  bool OnData(const char*, size_t, uint64_t received, int64_t) override {
    return received <= limit_;
  }

 private:
  uint64_t limit_;
};

}  // namespace qz::test

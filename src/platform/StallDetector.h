#pragma once

#include <cstdint>

namespace qz {

// Tells when a transfer has stalled: fewer than `minBytesPerSecond` x `seconds` bytes have
// arrived in the last `seconds`. A server that trickles a few bytes a second would
// otherwise hold the updater for ever.
class StallDetector {
 public:
  struct Limit {
    uint64_t minBytesPerSecond;
    int64_t seconds;
  };
  // 1 KiB a second on average over a minute: far below any usable line, far above a trickle.
  static constexpr Limit kDefaultLimit{1024, 60};

  explicit StallDetector(Limit limit) : limit_(limit) {}

  // `received` counts every byte so far at `nowMilliseconds` (any clock that never goes
  // back). Call it often (at least once a second); true once the transfer has stalled.
  bool Stalled(int64_t nowMilliseconds, uint64_t received);

 private:
  Limit limit_;
  bool started_ = false;
  // The last moment at which the transfer was known to keep up, and its bytes then.
  int64_t sinceMilliseconds_ = 0;
  uint64_t receivedSince_ = 0;
};

}  // namespace qz

#include "platform/StallDetector.h"

namespace qz {

bool StallDetector::Stalled(int64_t nowMilliseconds, uint64_t received) {
  // Each time a whole window's worth of bytes has arrived the window starts again, so a
  // transfer that stops is caught one window after it last kept up, however fast it was.
  const uint64_t quota = limit_.minBytesPerSecond * static_cast<uint64_t>(limit_.seconds);
  if (!started_ || received - receivedSince_ >= quota) {
    started_ = true;
    sinceMilliseconds_ = nowMilliseconds;
    receivedSince_ = received;
    return false;
  }
  return nowMilliseconds - sinceMilliseconds_ >= limit_.seconds * 1000;
}

}  // namespace qz

#include "dialogs/DownloadProgress.h"

#include <algorithm>
#include <utility>

#include "dialogs/SystemEventPacer.h"

namespace qz {

DownloadProgress::DownloadProgress(SystemEventPacer& pacer, std::function<void(int32_t)> setValue,
                                   int32_t from, int32_t to)
    : pacer_(pacer),
      setValue_(std::move(setValue)),
      from_(from),
      to_(to),
      shown_(from),
      reached_(from) {}

int32_t DownloadProgress::ValueFor(uint64_t received, int64_t expected) const {
  if (expected <= 0) return from_;
  const auto total = static_cast<uint64_t>(expected);
  if (received >= total) return to_;
  // Less than the whole step until the last byte: the dialog sets the last value itself.
  const uint64_t span = static_cast<uint64_t>(to_ - from_);
  return from_ + static_cast<int32_t>(span * received / total);
}

// The value is noted at every piece but shown only when events are due, which may be at a
// tick between pieces: a transport that reads large pieces delivers each one right after a
// tick has handled the events, so a bar set only with the pieces would hardly move.
bool DownloadProgress::OnData(const char*, size_t, uint64_t received, int64_t expected) {
  reached_ = std::max(reached_, ValueFor(received, expected));
  return OnTick();
}

bool DownloadProgress::OnTick() {
  if (!pacer_.Due()) return !pacer_.CancelRequested();
  if (reached_ > shown_) {
    shown_ = reached_;
    setValue_(shown_);
  }
  return !pacer_.HandleEvents();
}

}  // namespace qz

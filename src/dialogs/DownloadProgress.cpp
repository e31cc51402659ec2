#include "dialogs/DownloadProgress.h"

#include <utility>

#include "dialogs/SystemEventPacer.h"

namespace qz {

DownloadProgress::DownloadProgress(SystemEventPacer& pacer, std::function<void(int32_t)> setValue,
                                   int32_t from, int32_t to)
    : pacer_(pacer), setValue_(std::move(setValue)), from_(from), to_(to), shown_(from) {}

int32_t DownloadProgress::ValueFor(uint64_t received, int64_t expected) const {
  if (expected <= 0) return from_;
  const auto total = static_cast<uint64_t>(expected);
  if (received >= total) return to_;
  // Less than the whole step until the last byte: the dialog sets the last value itself.
  const uint64_t span = static_cast<uint64_t>(to_ - from_);
  return from_ + static_cast<int32_t>(span * received / total);
}

bool DownloadProgress::OnData(const char*, size_t, uint64_t received, int64_t expected) {
  if (!pacer_.Due()) return !pacer_.CancelRequested();
  const int32_t value = ValueFor(received, expected);
  if (value > shown_) {
    shown_ = value;
    setValue_(value);
  }
  return !pacer_.HandleEvents();
}

bool DownloadProgress::OnTick() {
  return !pacer_.HandleEventsIfDue();
}

}  // namespace qz

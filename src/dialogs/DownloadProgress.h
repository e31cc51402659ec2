#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "platform/TransferObserver.h"

namespace qz {

class SystemEventPacer;

// Watches one download step of the download dialog: moves the bar from the step's first
// value toward its last as the body arrives, keeps the windows alive while the transfer
// blocks, and aborts the transfer when the user asks to cancel. The bar is set only when
// events are due and its value has grown, so drawing stays rare; reaching the last value
// exactly is left to the dialog, which sets it when the step is complete.
class DownloadProgress : public TransferObserver {
 public:
  // `setValue` sets the bar; it must not throw.
  DownloadProgress(SystemEventPacer& pacer, std::function<void(int32_t)> setValue, int32_t from,
                   int32_t to);

  bool OnData(const char* data, size_t size, uint64_t received, int64_t expected) override;
  bool OnTick() override;

 private:
  // The bar's value within the step for `received` of `expected` bytes (-1: unknown).
  int32_t ValueFor(uint64_t received, int64_t expected) const;

  SystemEventPacer& pacer_;
  std::function<void(int32_t)> setValue_;
  int32_t from_;
  int32_t to_;
  int32_t shown_;
  // The value the bytes so far have earned, shown at the next due pass of events.
  int32_t reached_;
};

}  // namespace qz

#pragma once

#include <chrono>
#include <exception>

namespace qz {

class FormHost;

// Keeps the windows alive during long blocking work (a download, an extraction) that can
// only stop for them between small pieces: handles the window system's waiting events
// about every 50 ms, however often it is asked, and remembers a cancel request.
// Never throws from its calls, so it can run inside a library's callback.
class SystemEventPacer {
 public:
  explicit SystemEventPacer(FormHost& host);

  // True when the events were last handled at least 50 ms ago (or never).
  bool Due() const;

  // Handles the waiting events now. Returns true once the user has asked to cancel, then
  // and at every later call. A failure of the host is kept for RethrowFailure.
  bool HandleEvents();

  // Handles the events if they are due; the same result as HandleEvents.
  bool HandleEventsIfDue();

  bool CancelRequested() const { return cancelRequested_; }

  // Throws what the host threw during HandleEvents, if anything.
  void RethrowFailure();

 private:
  using Moment = std::chrono::steady_clock::time_point;

  FormHost& host_;
  Moment last_{};
  bool cancelRequested_ = false;
  std::exception_ptr failure_;
};

}  // namespace qz

#include "dialogs/SystemEventPacer.h"

#include <utility>

#include "forms/FormHost.h"

namespace qz {
namespace {

// Often enough that an uncovered window repaints without a visible delay and a cancel
// feels immediate; rarely enough that handling the events costs nothing measurable.
constexpr std::chrono::milliseconds kInterval{50};

}  // namespace

SystemEventPacer::SystemEventPacer(FormHost& host) : host_(host) {}

bool SystemEventPacer::Due() const {
  return std::chrono::steady_clock::now() - last_ >= kInterval;
}

bool SystemEventPacer::HandleEvents() {
  last_ = std::chrono::steady_clock::now();
  if (failure_) return cancelRequested_;
  try {
    if (host_.HandleSystemEvents(0)) cancelRequested_ = true;
  } catch (...) {
    // Whatever the host throws cannot pass through the library that called us.
    failure_ = std::current_exception();
  }
  return cancelRequested_;
}

bool SystemEventPacer::HandleEventsIfDue() {
  return Due() ? HandleEvents() : cancelRequested_;
}

void SystemEventPacer::RethrowFailure() {
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

}  // namespace qz

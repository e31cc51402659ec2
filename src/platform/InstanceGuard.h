#pragma once

namespace qz {

// The previous-instance test: per user and per application, needs nothing from the
// running instance, and an instance that crashed never blocks a later start.
class InstanceGuard {
 public:
  virtual ~InstanceGuard() = default;

  // True when another instance of the updater is running. The first call also marks
  // this process as the running instance for the rest of its life.
  virtual bool PreviousInstance() = 0;
};

}  // namespace qz

#pragma once

#include "platform/win32/WindowsApi.h"

#include <exception>
#include <functional>

namespace qz {

// The user-interface thread's message handling, shared by the form host and the prompts.
//
// The program's handlers may throw (qz::Error, or the end of the program in tests). An
// exception must not unwind through the system's message dispatch: Dispatch keeps it,
// every later handler is skipped, and the code that drove the messages (PumpOnce,
// RunUntil) rethrows it once the dispatch has returned.
class Win32MessagePump {
 public:
  // Runs a handler of the program's code from a window procedure, keeping what it throws.
  void Dispatch(const std::function<void()>& handler);

  // Handles every message waiting in the queue once, with keyboard navigation inside
  // dialogs, then rethrows a kept exception.
  void PumpOnce();
  // Waits for and handles messages until `done` returns true; rethrows a kept exception.
  void RunUntil(const std::function<bool()>& done);
  // Rethrows a kept exception, if any.
  void RethrowPending();

  // While the program is busy it lets the windows paint and move but takes no input:
  // forms get no clicks then, and a request to cancel (cmdCancel, Esc, the close box) is
  // only noted.
  void SetInputBlocked(bool blocked);
  bool InputBlocked() const { return inputBlocked_; }
  void RequestCancel() { cancelRequested_ = true; }
  bool CancelRequested() const { return cancelRequested_; }

  // The application-wide pointer: the busy shape over every window of the program while
  // set. A state, not a stack.
  void SetBusy(bool busy);
  bool Busy() const { return busy_; }
  // Sets the pointer that belongs over the program's windows now; for WM_SETCURSOR.
  // Returns false when the window's own pointer should show.
  bool ApplyPointer() const;

 private:
  void Handle(MSG& message);

  std::exception_ptr pending_;
  bool busy_ = false;
  bool inputBlocked_ = false;
  bool cancelRequested_ = false;
};

}  // namespace qz

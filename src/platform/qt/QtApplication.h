#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <vector>

class QApplication;
class QEventLoop;

namespace qz {

// The one Qt application object of the process and the rules for running the program's
// own code from Qt events. The object is made on first need, so a run that never shows
// anything never asks for a display.
//
// The program's handlers may throw (qz::Error, or the end of the program in tests). Such
// an exception must not unwind through Qt's event dispatch: Dispatch keeps it, leaves
// every event loop run through Exec, skips all later handlers, and the code that drove
// the events (ProcessEventsOnce or Exec) rethrows it. What escapes any other Qt event
// handler (a paint event, a slot) is kept the same way by the application object.
class QtApplication {
 public:
  // The application, made on the first call. Qt sees no command-line arguments: the
  // program's command line is its mode, not options for Qt.
  static QtApplication& Ensure();
  // The application if it has been made, else null.
  static QtApplication* IfCreated();

  // Runs a handler of the program's code from a Qt event, keeping what it throws.
  void Dispatch(const std::function<void()>& handler);
  // True while a handler runs through Dispatch (a window must then be deleted later).
  bool InHandler() const { return handlerDepth_ > 0; }

  // Handles the events that are waiting, once, then rethrows a kept exception.
  void ProcessEventsOnce();
  // Runs `loop` until it is quit or a handler throws, then rethrows a kept exception.
  void Exec(QEventLoop& loop);

  QtApplication(const QtApplication&) = delete;
  QtApplication& operator=(const QtApplication&) = delete;

 private:
  QtApplication();
  // Keeps the first exception of a handler and leaves every event loop run through Exec.
  void Keep(std::exception_ptr error);
  void RethrowPending();

  std::unique_ptr<QApplication> ownApplication_;
  std::exception_ptr pending_;
  std::vector<QEventLoop*> loops_;
  int handlerDepth_ = 0;
};

}  // namespace qz

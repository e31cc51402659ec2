#include "platform/qt/QtApplication.h"

#include <QApplication>
#include <QEventLoop>
#include <QFont>

#include "platform/qt/QtGuardedApplication.h"

namespace qz {
namespace {

QtApplication* instance = nullptr;

// Fonts of the dialogs' design that Linux machines rarely have, each with families of
// the same metrics (or close) that they often have; Qt falls back to its default sans
// serif font when none of them exists.
void AddFontSubstitutes() {
  const QStringList sansSerif = {"Liberation Sans", "Arimo", "Nimbus Sans", "Helvetica",
                                 "DejaVu Sans"};
  for (const char* family : {"MS Sans Serif", "Microsoft Sans Serif", "Tahoma"}) {
    QFont::insertSubstitutions(QString::fromLatin1(family), sansSerif);
  }
}

// Without any display (a silent run on a machine nobody is logged in to) the dialogs
// still load, hidden, so the check and the download can run; they render off screen.
void UseOffscreenWithoutDisplay() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
      qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
}

}  // namespace

QtApplication::QtApplication() {
  if (QApplication::instance() == nullptr) {
    UseOffscreenWithoutDisplay();
    // QApplication keeps references to both for its whole life.
    static int argc = 1;
    static char programName[] = "qzupdate";
    static char* argv[] = {programName, nullptr};
    ownApplication_ = std::make_unique<QtGuardedApplication>(
        argc, argv, [this](std::exception_ptr error) { Keep(error); });
  }
  QApplication::setApplicationName(QStringLiteral("QzUpdate"));
  // The forms decide when the program ends; a closed window must never end the loop.
  QApplication::setQuitOnLastWindowClosed(false);
  AddFontSubstitutes();
}

QtApplication& QtApplication::Ensure() {
  // Made once and kept to the end of the process: Qt objects may live as long.
  if (instance == nullptr) instance = new QtApplication();
  return *instance;
}

QtApplication* QtApplication::IfCreated() {
  return instance;
}

void QtApplication::Dispatch(const std::function<void()>& handler) {
  // After a handler has thrown, nothing more of the program's code runs until the
  // exception has reached the code that drives the events.
  if (pending_) return;
  ++handlerDepth_;
  try {
    handler();
  } catch (...) {
    Keep(std::current_exception());
  }
  --handlerDepth_;
}

void QtApplication::Keep(std::exception_ptr error) {
  if (!pending_) pending_ = error;
  for (QEventLoop* loop : loops_) loop->exit(1);
}

void QtApplication::ProcessEventsOnce() {
  RethrowPending();
  QApplication::processEvents(QEventLoop::AllEvents);
  RethrowPending();
}

void QtApplication::Exec(QEventLoop& loop) {
  RethrowPending();
  loops_.push_back(&loop);
  loop.exec(QEventLoop::AllEvents);
  loops_.pop_back();
  RethrowPending();
}

void QtApplication::RethrowPending() {
  if (!pending_) return;
  std::exception_ptr error = std::exchange(pending_, nullptr);
  std::rethrow_exception(error);
}

}  // namespace qz

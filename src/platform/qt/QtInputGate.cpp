#include "platform/qt/QtInputGate.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <utility>

namespace qz {
namespace {

// Shortcut events come from keys already matched against access keys, so they are input
// although Qt does not count them as such.
bool IsUserInput(const QEvent& event) {
  return event.isInputEvent() || event.type() == QEvent::Shortcut;
}

}  // namespace

QtInputGate::QtInputGate(CancelTest isCancel, std::function<void()> onCancel)
    : isCancel_(std::move(isCancel)), onCancel_(std::move(onCancel)) {
  QApplication::instance()->installEventFilter(this);
}

QtInputGate::~QtInputGate() {
  QApplication::instance()->removeEventFilter(this);
}

bool QtInputGate::eventFilter(QObject* watched, QEvent* event) {
  // A window passes input on to its widgets through the application again; deciding at
  // the widget knows which control was meant.
  if (!watched->isWidgetType() || !IsUserInput(*event)) return false;
  if (isCancel_(*static_cast<QWidget*>(watched), *event)) onCancel_();
  return true;
}

}  // namespace qz

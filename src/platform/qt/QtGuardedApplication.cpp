#include "platform/qt/QtGuardedApplication.h"

#include <utility>

namespace qz {

QtGuardedApplication::QtGuardedApplication(int& argc, char** argv,
                                           std::function<void(std::exception_ptr)> keep)
    : QApplication(argc, argv), keep_(std::move(keep)) {}

bool QtGuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    keep_(std::current_exception());
    return false;
  }
}

}  // namespace qz

#pragma once

#include <QApplication>
#include <exception>
#include <functional>

namespace qz {

// The Qt application object, with one addition: an exception that a Qt event handler or
// slot lets escape (std::bad_alloc in a paint event, say) stops at Qt's event dispatch
// and goes to `keep` instead of unwinding through Qt, which is not made for it.
class QtGuardedApplication : public QApplication {
 public:
  QtGuardedApplication(int& argc, char** argv, std::function<void(std::exception_ptr)> keep);

  bool notify(QObject* receiver, QEvent* event) override;

 private:
  std::function<void(std::exception_ptr)> keep_;
};

}  // namespace qz

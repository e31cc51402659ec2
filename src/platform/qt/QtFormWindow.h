#pragma once

#include <QWidget>
#include <functional>
#include <utility>

namespace qz {

// The top-level window of a dialog: a fixed client size, a title bar with the close box
// only, and a task-bar button, so that a dialog that waits for an answer can be found.
// Its own background, seen below the picture around the Cancel button, is the desktop's
// dialog colour. The close box and the Esc key go to the callbacks; Qt never closes the
// window by itself, so it goes away only when its form is unloaded.
class QtFormWindow : public QWidget {
 public:
  QtFormWindow(int clientWidth, int clientHeight);

  // What the close box does; nothing until set.
  void OnCloseBox(std::function<void()> handler) { onCloseBox_ = std::move(handler); }
  // What the Esc key does; nothing until set.
  void OnEscape(std::function<void()> handler) { onEscape_ = std::move(handler); }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  std::function<void()> onCloseBox_;
  std::function<void()> onEscape_;
};

}  // namespace qz

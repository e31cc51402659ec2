#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace qz::test {

// Waits (in the event loop) for the next application-modal window and hands it to
// `answer`, which is expected to close it; gives up after about five seconds.
inline void WhenModalShown(std::function<void(QWidget*)> answer) {
  auto* timer = new QTimer();
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, [timer, tries, answer] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr && ++*tries < 1000) return;
    timer->stop();
    timer->deleteLater();
    if (modal != nullptr) answer(modal);
  });
  timer->start(5);
}

}  // namespace qz::test

#include "platform/qt/QtFormWindow.h"

#include <QCloseEvent>
#include <QKeyEvent>

namespace qz {

QtFormWindow::QtFormWindow(int clientWidth, int clientHeight)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setFixedSize(clientWidth, clientHeight);
}

void QtFormWindow::closeEvent(QCloseEvent* event) {
  // The form decides: it unloads itself, which destroys this window.
  event->ignore();
  if (onCloseBox_) onCloseBox_();
}

void QtFormWindow::keyPressEvent(QKeyEvent* event) {
  // Buttons pass Esc on to their window, as in a dialog.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    event->accept();
    if (onEscape_) onEscape_();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace qz

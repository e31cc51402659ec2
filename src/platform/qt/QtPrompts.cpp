#include "platform/qt/QtPrompts.h"

#include <QApplication>
#include <QEventLoop>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "platform/qt/AnsiText.h"
#include "platform/qt/QtApplication.h"

namespace qz {
namespace {

constexpr int kButtonsMask = 0x7;
constexpr int kIconMask = 0x70;

QString Title(const std::string& title) {
  return title.empty() ? QApplication::applicationName() : AnsiText::Decode(title);
}

// Shows `dialog` application-modal and handles events until it is closed.
void RunModal(QDialog& dialog) {
  dialog.setWindowModality(Qt::ApplicationModal);
  QEventLoop loop;
  QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  dialog.show();
  dialog.raise();
  dialog.activateWindow();
  QtApplication::Ensure().Exec(loop);
}

QMessageBox::Icon IconOf(int style) {
  switch (style & kIconMask) {
    case kCritical:
      return QMessageBox::Critical;
    case kExclamation:
      return QMessageBox::Warning;
    case kInformation:
      return QMessageBox::Information;
    default:
      return QMessageBox::NoIcon;
  }
}

// Adds the buttons of `style`; the first is the default, Cancel (where there is one)
// answers Escape and the close box.
void AddButtons(QMessageBox& box, int style) {
  switch (style & kButtonsMask) {
    case kRetryCancel:
      box.setDefaultButton(box.addButton(QMessageBox::Retry));
      box.setEscapeButton(box.addButton(QMessageBox::Cancel));
      break;
    case kYesNoCancel:
      box.setDefaultButton(box.addButton(QMessageBox::Yes));
      box.addButton(QMessageBox::No);
      box.setEscapeButton(box.addButton(QMessageBox::Cancel));
      break;
    default:
      box.setDefaultButton(box.addButton(QMessageBox::Ok));
      box.setEscapeButton(box.defaultButton());
      break;
  }
}

MsgBoxResult ResultOf(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Retry:
      return MsgBoxResult::kRetry;
    case QMessageBox::Yes:
      return MsgBoxResult::kYes;
    case QMessageBox::No:
      return MsgBoxResult::kNo;
    case QMessageBox::Cancel:
      return MsgBoxResult::kCancel;
    default:
      return MsgBoxResult::kOk;
  }
}

}  // namespace

MsgBoxResult QtPrompts::MsgBox(const std::string& body, int style, const std::string& title) {
  QtApplication::Ensure();
  QMessageBox box;
  box.setWindowTitle(Title(title));
  box.setTextFormat(Qt::PlainText);
  box.setText(AnsiText::ForDisplay(body));
  box.setIcon(IconOf(style));
  AddButtons(box, style);
  RunModal(box);
  QAbstractButton* clicked = box.clickedButton();
  if (clicked == nullptr) clicked = box.escapeButton();
  return ResultOf(box.standardButton(clicked));
}

std::string QtPrompts::InputBox(const std::string& prompt, const std::string& title,
                                const std::string& defaultText) {
  QtApplication::Ensure();
  QInputDialog dialog;
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setWindowTitle(Title(title));
  dialog.setLabelText(AnsiText::ForDisplay(prompt));
  for (QLabel* label : dialog.findChildren<QLabel*>()) label->setTextFormat(Qt::PlainText);
  dialog.setTextValue(AnsiText::Decode(defaultText));
  RunModal(dialog);
  if (dialog.result() != QDialog::Accepted) return {};
  return AnsiText::Encode(dialog.textValue());
}

void QtPrompts::DoEvents() {
  if (QtApplication* application = QtApplication::IfCreated()) {
    application->ProcessEventsOnce();
  }
}

void QtPrompts::SetBusyPointer(bool busy) {
  // Before the application exists no window can show a pointer.
  if (busy && !busyCursorSet_ && QtApplication::IfCreated() != nullptr) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    busyCursorSet_ = true;
  } else if (!busy && busyCursorSet_) {
    QApplication::restoreOverrideCursor();
    busyCursorSet_ = false;
  }
}

}  // namespace qz

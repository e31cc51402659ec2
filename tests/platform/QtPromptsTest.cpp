#include "platform/qt/QtPrompts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "ModalAnswer.h"
#include "platform/qt/QtApplication.h"
#include "support/ProgramEnded.h"

namespace qz {
namespace {

using test::WhenModalShown;

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  Qt::WindowModality modality = Qt::NonModal;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
  std::vector<QMessageBox::StandardButton> buttons;
};

class QtPromptsTest : public testing::Test {
 protected:
  void SetUp() override { QtApplication::Ensure(); }

  // Answers the next message box by `act` after noting what it showed.
  void Answer(std::function<void(QMessageBox&)> act) {
    WhenModalShown([this, act](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      ASSERT_NE(box, nullptr);
      seen.title = box->windowTitle();
      seen.text = box->text();
      seen.icon = box->icon();
      seen.modality = box->windowModality();
      seen.defaultButton = box->standardButton(box->defaultButton());
      for (QAbstractButton* button : box->buttons()) {
        seen.buttons.push_back(box->standardButton(button));
      }
      // In the order of the enumeration (Yes, No, Retry, Cancel), whatever the style puts first.
      std::sort(seen.buttons.begin(), seen.buttons.end());
      act(*box);
    });
  }
  static std::function<void(QMessageBox&)> Click(QMessageBox::StandardButton which) {
    return [which](QMessageBox& box) { box.button(which)->click(); };
  }
  static void PressEscape(QWidget& widget) {
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&widget, &escape);
  }

  QtPrompts prompts;
  SeenBox seen;
};

TEST_F(QtPromptsTest, OkBoxShowsTitleBodyAndIcon) {
  Answer(Click(QMessageBox::Ok));
  EXPECT_EQ(prompts.MsgBox("53\r\nFile not found", kOkOnly | kCritical, "Oops ..."),
            MsgBoxResult::kOk);
  EXPECT_EQ(seen.title, "Oops ...");
  EXPECT_EQ(seen.text, "53\nFile not found");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);
  EXPECT_EQ(seen.modality, Qt::ApplicationModal);
  EXPECT_EQ(seen.buttons, std::vector<QMessageBox::StandardButton>{QMessageBox::Ok});
}

TEST_F(QtPromptsTest, BodyIsPlainEightBitText) {
  Answer([](QMessageBox& box) { PressEscape(box); });
  EXPECT_EQ(prompts.MsgBox("<b>Caf\xE9</b>", kInformation, "Saved ..."), MsgBoxResult::kOk)
      << "Escape on a box with OK only answers OK";
  EXPECT_EQ(seen.text, QString::fromUtf8(u8"<b>Caf\u00E9</b>"));
  EXPECT_EQ(seen.icon, QMessageBox::Information);
}

TEST_F(QtPromptsTest, RetryCancelDefaultsToRetry) {
  Answer(Click(QMessageBox::Retry));
  EXPECT_EQ(prompts.MsgBox("Vq is running", kRetryCancel | kExclamation, "Already Running ..."),
            MsgBoxResult::kRetry);
  EXPECT_EQ(seen.icon, QMessageBox::Warning);
  EXPECT_EQ(seen.defaultButton, QMessageBox::Retry);
  EXPECT_EQ(seen.buttons,
            (std::vector<QMessageBox::StandardButton>{QMessageBox::Retry, QMessageBox::Cancel}));

  Answer(Click(QMessageBox::Cancel));
  EXPECT_EQ(prompts.MsgBox("again", kRetryCancel | kExclamation, "t"), MsgBoxResult::kCancel);
}

TEST_F(QtPromptsTest, EscapeAndCloseBoxGiveCancel) {
  Answer([](QMessageBox& box) { PressEscape(box); });
  EXPECT_EQ(prompts.MsgBox("x", kRetryCancel, "t"), MsgBoxResult::kCancel);

  Answer([](QMessageBox& box) { PressEscape(box); });
  EXPECT_EQ(prompts.MsgBox("x", kYesNoCancel, "t"), MsgBoxResult::kCancel);

  Answer([](QMessageBox& box) { box.close(); });
  EXPECT_EQ(prompts.MsgBox("x", kRetryCancel, "t"), MsgBoxResult::kCancel);
}

TEST_F(QtPromptsTest, YesNoCancelDefaultsToYes) {
  Answer(Click(QMessageBox::No));
  EXPECT_EQ(prompts.MsgBox("Overwrite?", kYesNoCancel, "t"), MsgBoxResult::kNo);
  EXPECT_EQ(seen.defaultButton, QMessageBox::Yes);
  EXPECT_EQ(seen.buttons, (std::vector<QMessageBox::StandardButton>{
                              QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}));
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

TEST_F(QtPromptsTest, BoxWithoutTitleShowsTheApplicationName) {
  Answer(Click(QMessageBox::Ok));
  prompts.MsgBox("x", kOkOnly, "");
  EXPECT_EQ(seen.title, "QzUpdate");
}

TEST_F(QtPromptsTest, InputBoxReturnsTheTextOrEmptyAfterCancel) {
  QString label;
  QString initial;
  QString title;
  WhenModalShown([&](QWidget* modal) {
    auto* dialog = qobject_cast<QInputDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    label = dialog->labelText();
    initial = dialog->textValue();
    title = dialog->windowTitle();
    dialog->setTextValue(QString::fromUtf8(u8"s\u00E9cret"));
    dialog->accept();
  });
  EXPECT_EQ(prompts.InputBox("Please Enter The Password!", "", "start"),
            "s\xC3\xA9"
            "cret");
  EXPECT_EQ(label, "Please Enter The Password!");
  EXPECT_EQ(initial, "start");
  EXPECT_EQ(title, "QzUpdate");

  WhenModalShown([](QWidget* modal) {
    auto* dialog = qobject_cast<QInputDialog*>(modal);
    ASSERT_NE(dialog, nullptr);
    dialog->setTextValue("typed, then cancelled");
    PressEscape(*dialog);
  });
  EXPECT_EQ(prompts.InputBox("Password?", "Title", ""), "");
}

TEST_F(QtPromptsTest, InputBoxPromptIsPlainText) {
  Qt::TextFormat format = Qt::RichText;
  WhenModalShown([&](QWidget* modal) {
    for (QLabel* label : modal->findChildren<QLabel*>()) {
      if (label->text() == "<i>member</i>") format = label->textFormat();
    }
    static_cast<QDialog*>(modal)->reject();
  });
  prompts.InputBox("<i>member</i>", "t", "");
  EXPECT_EQ(format, Qt::PlainText);
}

TEST_F(QtPromptsTest, BusyPointerIsAStateNotAStack) {
  prompts.SetBusyPointer(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  prompts.SetBusyPointer(true);
  prompts.SetBusyPointer(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  prompts.SetBusyPointer(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtPromptsTest, DoEventsRunsWaitingEventsAndRethrowsWhatAHandlerThrew) {
  int ran = 0;
  QTimer::singleShot(0, [&] { QtApplication::Ensure().Dispatch([&] { ++ran; }); });
  prompts.DoEvents();
  EXPECT_EQ(ran, 1);

  QTimer::singleShot(0,
                     [] { QtApplication::Ensure().Dispatch([] { throw test::ProgramEnded(); }); });
  QTimer::singleShot(0, [&] { QtApplication::Ensure().Dispatch([&] { ++ran; }); });
  EXPECT_THROW(prompts.DoEvents(), test::ProgramEnded);
  EXPECT_EQ(ran, 1) << "nothing of the program runs after a handler has ended it";

  prompts.DoEvents();  // The exception has been passed on; events run again.
}

TEST_F(QtPromptsTest, HandlerExceptionLeavesAnOpenMessageBox) {
  // A handler throws while a box waits for its answer: the box's loop ends and the
  // exception comes out of MsgBox instead of an answer.
  WhenModalShown(
      [](QWidget*) { QtApplication::Ensure().Dispatch([] { throw test::ProgramEnded(); }); });
  EXPECT_THROW(prompts.MsgBox("waiting", kOkOnly, "t"), test::ProgramEnded);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace qz

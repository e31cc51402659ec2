#include "platform/qt/QtFormHost.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>
#include <new>

#include "dialogs/DialogLayouts.h"
#include "forms/Form.h"
#include "forms/Twips.h"
#include "platform/Error.h"
#include "platform/UserControl.h"
#include "platform/qt/QtApplication.h"
#include "platform/qt/QtPrompts.h"
#include "support/ProgramEnded.h"
#include "support/TempDir.h"

namespace qz {
namespace {

// A dialog built from a layout, with the font rule in its Form_Load, that records
// what reaches it.
class LayoutForm : public Form {
 public:
  LayoutForm(FormHost& host, const FormDesign& design) : Form(host, design) {}
  ~LayoutForm() override {
    if (destroyed) *destroyed = true;
  }
  void Click(const std::string& name) override {
    clicks.push_back(name);
    if (onClick) onClick(name);
  }

  std::vector<std::string> clicks;
  std::function<void(const std::string&)> onClick;
  int unloads = 0;
  bool* destroyed = nullptr;

 protected:
  void Form_Load() override { SubstituteFonts(); }
  void Form_Unload() override { ++unloads; }
};

class IdleUserControl : public UserControl {
 public:
  void UserControl_Initialize(UserControlSite&) override {}
  void UserControl_Paint() override {}
  void UserControl_Resize() override {}
  void UserControl_Terminate() override {}
};

void PressEscape(QWidget& widget) {
  QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&widget, &escape);
}

class QtFormHostTest : public testing::Test {
 protected:
  void SetUp() override { QtApplication::Ensure(); }

  std::shared_ptr<LayoutForm> Make(const FormDesign& design) {
    auto form = std::make_shared<LayoutForm>(host, design);
    if (Control* bar = form->FindControl("ProgressBar")) bar->Attach(&userControl);
    return form;
  }
  QWidget* Widget(const Form& form, const std::string& name) {
    QWidget* widget = host.WidgetOf(form, name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  IdleUserControl userControl;
  QtFormHost host;
  QtPrompts prompts;
};

struct Layout {
  const char* file;
  FormDesign (*design)();
  int panelWidth;  // pixels
};

class LayoutRealizationTest : public QtFormHostTest, public testing::WithParamInterface<Layout> {};

TEST_P(LayoutRealizationTest, WindowHasTheFixedDialogShape) {
  auto form = Make(GetParam().design());
  form->Show();
  QWidget* window = host.WindowOf(*form);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(window->size(), QSize(494, 362));
  EXPECT_EQ(window->minimumSize(), QSize(494, 362));
  EXPECT_EQ(window->maximumSize(), QSize(494, 362));
  Qt::WindowFlags flags = window->windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_EQ(window->windowTitle().toStdString(), form->Caption());
  EXPECT_FALSE(window->windowIcon().isNull());
}

TEST_P(LayoutRealizationTest, EveryControlSitsAtItsPixelRectangle) {
  auto form = Make(GetParam().design());
  form->EnsureLoaded();
  QWidget* window = host.WindowOf(*form);
  QWidget* panel = Widget(*form, "Frame1");
  ASSERT_NE(panel, nullptr);

  EXPECT_EQ(Widget(*form, "Image1")->geometry(), QRect(-2, -2, 500, 316));
  EXPECT_EQ(panel->geometry(), QRect(177, 12, GetParam().panelWidth, 286));
  EXPECT_EQ(Widget(*form, "cmdCancel")->geometry(), QRect(405, 327, 75, 23));
  EXPECT_EQ(Widget(*form, "lblMsg1")->geometry(), QRect(6, 15, 286, 82));
  for (const auto& control : form->Controls()) {
    SCOPED_TRACE(control->Name());
    QWidget* widget = Widget(*form, control->Name());
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(widget->parentWidget(), control->Container().empty() ? window : panel);
    QRect expected(TwipsToPixels(control->Left()), TwipsToPixels(control->Top()),
                   TwipsToPixels(control->Width()), TwipsToPixels(control->Height()));
    if (control->AutoSize()) {
      EXPECT_EQ(widget->pos(), expected.topLeft());
    } else {
      EXPECT_EQ(widget->geometry(), expected);
    }
  }
}

TEST_P(LayoutRealizationTest, LabelsWrapAndAutoSizeLabelsKeepOneLine) {
  auto form = Make(GetParam().design());
  form->EnsureLoaded();
  for (const auto& control : form->Controls()) {
    if (control->Kind() != ControlKind::kLabel) continue;
    SCOPED_TRACE(control->Name());
    auto* label = qobject_cast<QLabel*>(Widget(*form, control->Name()));
    ASSERT_NE(label, nullptr);
    EXPECT_FALSE(label->autoFillBackground()) << "labels are transparent";
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->wordWrap(), !control->AutoSize());
    if (control->AutoSize()) {
      QFontMetrics metrics(label->font());
      EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text()));
      EXPECT_LT(label->height(), 2 * metrics.lineSpacing());
    }
  }
}

TEST_P(LayoutRealizationTest, FontsFollowTheSubstitutedDesign) {
  auto form = Make(GetParam().design());
  form->EnsureLoaded();
  QFont first = Widget(*form, "lblMsg1")->font();
  EXPECT_EQ(first.family(), "Microsoft Sans Serif") << "the control keeps its font's name";
  EXPECT_EQ(first.pixelSize(), 16);  // 12 points at 96 dots per inch
  EXPECT_TRUE(first.bold());
  EXPECT_EQ(Widget(*form, "lblMsg2")->font().pixelSize(), 13);  // 9.75 points
  EXPECT_FALSE(Widget(*form, "lblMsg2")->font().bold());
  EXPECT_EQ(Widget(*form, "cmdCancel")->font().pixelSize(), 11);  // 8 points
  if (form->FindControl("ProgressBar") != nullptr) {
    EXPECT_EQ(Widget(*form, "ProgressBar")->font().family(), "Tahoma");
    EXPECT_EQ(Widget(*form, "ProgressBar")->font().pixelSize(), 11);
  }
}

TEST_P(LayoutRealizationTest, ButtonsEscapeAndCloseBoxReachTheForm) {
  auto form = Make(GetParam().design());
  form->Show();
  std::vector<std::string> buttons;
  for (const auto& control : form->Controls()) {
    if (control->Kind() != ControlKind::kCommandButton) continue;
    buttons.push_back(control->Name());
    qobject_cast<QPushButton*>(Widget(*form, control->Name()))->click();
  }
  EXPECT_EQ(form->clicks, buttons);

  form->clicks.clear();
  QWidget* window = host.WindowOf(*form);
  QWidget* focused = window->focusWidget();
  ASSERT_NE(focused, nullptr);
  PressEscape(*focused);
  EXPECT_EQ(form->clicks, std::vector<std::string>{"cmdCancel"});

  QPointer<QWidget> closing = window;
  EXPECT_FALSE(window->close()) << "Qt must not close the window behind the form's back";
  EXPECT_FALSE(form->IsLoaded());
  EXPECT_EQ(form->unloads, 1);
  EXPECT_EQ(host.WindowOf(*form), nullptr);
  prompts.DoEvents();
  EXPECT_TRUE(closing.isNull()) << "the unloaded window is destroyed";
}

TEST_P(LayoutRealizationTest, PanelIsWhiteOverThePicture) {
  auto form = Make(GetParam().design());
  form->Show();
  QWidget* window = host.WindowOf(*form);
  QImage shot = window->grab().toImage();
  EXPECT_EQ(shot.size(), QSize(494, 362));
  EXPECT_EQ(shot.pixelColor(180, 14), QColor(Qt::white)) << "inside Frame1, above any text";
  EXPECT_EQ(shot.pixelColor(177 + GetParam().panelWidth - 2, 296), QColor(Qt::white));
  EXPECT_NE(shot.pixelColor(20, 20), QColor(Qt::white)) << "the picture, left of the panel";
  auto children = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
  EXPECT_EQ(children.front(), Widget(*form, "Image1")) << "the picture lies beneath all";
  EXPECT_EQ(window->childAt(420, 335), Widget(*form, "cmdCancel"));

  // Kept for looking at: in the test's folder and, for people, under /tmp/qthost-shots.
  test::TempDir dir;
  ASSERT_TRUE(shot.save(QString::fromStdString(dir / GetParam().file)));
  EXPECT_TRUE(dir.Exists(GetParam().file));
  QDir().mkpath("/tmp/qthost-shots");
  shot.save(QString("/tmp/qthost-shots/") + GetParam().file);
}

TEST_P(LayoutRealizationTest, TabOrderFollowsTheTabIndex) {
  auto form = Make(GetParam().design());
  form->Show();
  std::vector<const Control*> expected;
  for (const auto& control : form->Controls()) {
    if (control->Kind() == ControlKind::kCommandButton) expected.push_back(control.get());
  }
  std::sort(expected.begin(), expected.end(),
            [](const Control* a, const Control* b) { return a->TabIndex() < b->TabIndex(); });

  QWidget* window = host.WindowOf(*form);
  QWidget* widget = window->focusWidget();
  ASSERT_NE(widget, nullptr);
  std::vector<std::string> order;
  do {
    if (widget->focusPolicy() & Qt::TabFocus) order.push_back(widget->objectName().toStdString());
    widget = widget->nextInFocusChain();
  } while (widget != window->focusWidget() && order.size() < 20);
  std::vector<std::string> names;
  for (const Control* control : expected) names.push_back(control->Name());
  EXPECT_EQ(order, names) << "the first in the tab order starts with the focus";
}

INSTANTIATE_TEST_SUITE_P(
    AllDialogs, LayoutRealizationTest,
    testing::Values(Layout{"frmCheckQzUpdate.png", &DialogLayouts::CheckQzUpdate, 301},
                    Layout{"frmNeedsNoUpdate.png", &DialogLayouts::NeedsNoUpdate, 307},
                    Layout{"frmDownloadUpdate.png", &DialogLayouts::DownloadUpdate, 307},
                    Layout{"frmInstallUpdate.png", &DialogLayouts::InstallUpdate, 301}));

TEST_F(QtFormHostTest, ControlChangesReachTheirWidget) {
  auto form = Make(DialogLayouts::InstallUpdate());
  form->Show();
  auto* first = qobject_cast<QLabel*>(Widget(*form, "lblMsg1"));
  form->FindControl("lblMsg1")->SetCaption("The Online Update for Vq\r\nis here");
  EXPECT_EQ(first->text(), "The Online Update for Vq\nis here");

  form->FindControl("cmdCancel")->SetCaption("&Finish");
  EXPECT_EQ(qobject_cast<QPushButton*>(Widget(*form, "cmdCancel"))->text(), "&Finish");

  form->FindControl("lblMsg4")->SetVisible(false);
  EXPECT_TRUE(Widget(*form, "lblMsg4")->isHidden());
  form->FindControl("lblMsg4")->SetVisible(true);
  EXPECT_FALSE(Widget(*form, "lblMsg4")->isHidden());

  form->FindControl("lblMsg4")->SetTop(3000);
  EXPECT_EQ(Widget(*form, "lblMsg4")->geometry(), QRect(6, 200, 286, 22));

  form->FindControl("lblMsg1")->SetFontName("Tahoma");
  EXPECT_EQ(first->font().family(), "Tahoma");
  EXPECT_EQ(first->font().pixelSize(), 16);

  // An auto-size label follows its new text.
  QWidget* second = Widget(*form, "lblMsg2");
  int before = second->width();
  form->FindControl("lblMsg2")->SetCaption("Click \"Finish\" to close this updater.");
  EXPECT_GT(second->width(), before);
}

TEST_F(QtFormHostTest, ProgressBarSlotLiesOverTheLabelItOverlaps) {
  auto form = Make(DialogLayouts::DownloadUpdate());
  form->EnsureLoaded();
  QWidget* bar = Widget(*form, "ProgressBar");
  EXPECT_EQ(bar->geometry(), QRect(6, 264, 295, 22));
  EXPECT_EQ(Widget(*form, "Frame1")->childAt(10, 268), bar);
  EXPECT_EQ(Widget(*form, "Frame1")->childAt(10, 255), Widget(*form, "lblMsg4"));

  form->FindControl("ProgressBar")->SetVisible(false);
  EXPECT_TRUE(bar->isHidden());
}

TEST_F(QtFormHostTest, UserControlSlotWithoutControlGetsNoWidget) {
  auto form = std::make_shared<LayoutForm>(host, DialogLayouts::DownloadUpdate());
  form->EnsureLoaded();
  EXPECT_EQ(host.WidgetOf(*form, "ProgressBar"), nullptr);
  form->FindControl("ProgressBar")->SetVisible(false);  // nothing to update, no harm
}

TEST_F(QtFormHostTest, EscapeIgnoresAHiddenCancelButton) {
  auto form = Make(DialogLayouts::CheckQzUpdate());
  form->Show();
  form->FindControl("cmdCancel")->SetVisible(false);
  PressEscape(*host.WindowOf(*form));
  EXPECT_TRUE(form->clicks.empty());
}

TEST_F(QtFormHostTest, SystemEventsPassReachesNoFormButReportsACancel) {
  auto form = Make(DialogLayouts::DownloadUpdate());
  form->Show();
  QWidget* window = host.WindowOf(*form);
  auto click = [](QWidget* target) {
    QPointF centre = QRectF(target->rect()).center();
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QCoreApplication::postEvent(
          target, new QMouseEvent(type, centre, target->mapToGlobal(centre), Qt::LeftButton,
                                  Qt::LeftButton, Qt::NoModifier));
    }
  };
  click(Widget(*form, "cmdIRN"));
  EXPECT_FALSE(host.HandleSystemEvents(0));
  click(Widget(*form, "cmdCancel"));
  EXPECT_TRUE(host.HandleSystemEvents(0));
  QCoreApplication::postEvent(window,
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  EXPECT_TRUE(host.HandleSystemEvents(0));
  // A waiting pass ends at the cancel; the close box is one too and unloads nothing.
  QTimer::singleShot(10, window,
                     [window] { QCoreApplication::postEvent(window, new QCloseEvent); });
  EXPECT_TRUE(host.HandleSystemEvents(60'000));
  EXPECT_EQ(form->unloads, 0);
  // Input dropped during the passes is gone, not merely put off.
  QCoreApplication::processEvents();
  EXPECT_TRUE(form->clicks.empty());
  // A hidden dialog cannot be cancelled.
  form->Hide();
  QCoreApplication::postEvent(window,
                              new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
  EXPECT_FALSE(host.HandleSystemEvents(0));
  QCoreApplication::processEvents();
  EXPECT_TRUE(form->clicks.empty());
}

TEST_F(QtFormHostTest, HideAndShowAgain) {
  auto form = Make(DialogLayouts::CheckQzUpdate());
  form->Show();
  QWidget* window = host.WindowOf(*form);
  form->Hide();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(form->IsLoaded());
  form->Show();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(host.WindowOf(*form), window);
}

TEST_F(QtFormHostTest, UnloadOutsideAnyEventDestroysTheWindowAtOnce) {
  auto form = Make(DialogLayouts::CheckQzUpdate());
  form->Show();
  QPointer<QWidget> window = host.WindowOf(*form);
  form->Unload();
  EXPECT_TRUE(window.isNull());
  EXPECT_EQ(form->unloads, 1);
}

TEST_F(QtFormHostTest, HandlerMayUnloadItsFormAndDropTheLastReference) {
  bool destroyed = false;
  auto form = Make(DialogLayouts::NeedsNoUpdate());
  form->destroyed = &destroyed;
  std::shared_ptr<LayoutForm> single = form;
  form.reset();
  single->onClick = [&single](const std::string&) {
    LayoutForm* self = single.get();
    single.reset();  // the single-instance reference is cleared...
    self->Unload();  // ...and the form goes on running its handler
    self->clicks.push_back("after unload");
  };
  single->Show();
  QPointer<QWidget> window = host.WindowOf(*single);
  // Clicked from an event, as a user's click is.
  QMetaObject::invokeMethod(host.WidgetOf(*single, "cmdCRL"), "click", Qt::QueuedConnection);
  prompts.DoEvents();
  EXPECT_TRUE(destroyed);
  prompts.DoEvents();
  EXPECT_TRUE(window.isNull()) << "Qt deletes the window once its event is over";
}

TEST_F(QtFormHostTest, RunUntilLastFormClosedReturnsAtOnceWithoutForms) {
  host.RunUntilLastFormClosed();
}

TEST_F(QtFormHostTest, RunUntilLastFormClosedFollowsHandOvers) {
  auto first = Make(DialogLayouts::CheckQzUpdate());
  auto second = Make(DialogLayouts::NeedsNoUpdate());
  // The first hands over: shows the second, then unloads itself.
  first->onClick = [&](const std::string&) {
    second->Show();
    first->Unload();
  };
  first->Show();
  QTimer::singleShot(
      0, [&] { qobject_cast<QPushButton*>(host.WidgetOf(*first, "cmdCancel"))->click(); });
  QTimer::singleShot(20, [&] { host.WindowOf(*second)->close(); });
  host.RunUntilLastFormClosed();
  EXPECT_FALSE(first->IsLoaded());
  EXPECT_FALSE(second->IsLoaded());
  EXPECT_EQ(second->unloads, 1);
}

TEST_F(QtFormHostTest, RunUntilLastFormClosedPassesOnWhatAHandlerThrew) {
  auto form = Make(DialogLayouts::DownloadUpdate());
  int laterClicks = 0;
  form->onClick = [&](const std::string& name) {
    if (name == "cmdCancel") {
      form->Unload();
      throw test::ProgramEnded();
    }
    ++laterClicks;
  };
  form->Show();
  QTimer::singleShot(0, [&] {
    PressEscape(*host.WindowOf(*form));
    // Queued behind the end of the program: must never reach the form.
    QMetaObject::invokeMethod(host.WidgetOf(*form, "cmdIRN"), "click", Qt::QueuedConnection);
  });
  EXPECT_THROW(host.RunUntilLastFormClosed(), test::ProgramEnded);
  prompts.DoEvents();
  EXPECT_EQ(laterClicks, 0);
}

TEST_F(QtFormHostTest, ErrorFromAClickComesOutOfDoEvents) {
  auto form = Make(DialogLayouts::CheckQzUpdate());
  form->onClick = [](const std::string&) { throw Error(Error::kFileNotFound, "File not found"); };
  form->Show();
  QMetaObject::invokeMethod(host.WidgetOf(*form, "cmdCancel"), "click", Qt::QueuedConnection);
  try {
    prompts.DoEvents();
    ADD_FAILURE() << "the error was lost";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), 53);
  }
  EXPECT_TRUE(form->IsLoaded());
}

TEST_F(QtFormHostTest, WhatAnyQtEventHandlerLetsEscapeComesOutOfTheEventLoop) {
  auto form = Make(DialogLayouts::DownloadUpdate());
  form->Show();
  // A paint event of Qt's own, not a handler of the program: out of memory while drawing.
  class FailingPaint : public QWidget {
   public:
    using QWidget::QWidget;
    void paintEvent(QPaintEvent*) override { throw std::bad_alloc(); }
  };
  auto* failing = new FailingPaint(host.WindowOf(*form));
  failing->setGeometry(0, 0, 10, 10);
  failing->show();
  QTimer::singleShot(0, [&] { failing->repaint(); });
  EXPECT_THROW(host.RunUntilLastFormClosed(), std::bad_alloc);
  // The loop it left is gone: a later handler's exception must not reach for it.
  delete failing;
  form->onClick = [](const std::string&) { throw test::ProgramEnded(); };
  QMetaObject::invokeMethod(host.WidgetOf(*form, "cmdCancel"), "click", Qt::QueuedConnection);
  EXPECT_THROW(prompts.DoEvents(), test::ProgramEnded);
}

}  // namespace
}  // namespace qz

#include "platform/qt/QtFormHost.h"

#include <QEventLoop>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "forms/Form.h"
#include "forms/Twips.h"
#include "platform/qt/AnsiText.h"
#include "platform/qt/Artwork.h"
#include "platform/qt/QtApplication.h"
#include "platform/qt/QtFormWindow.h"
#include "platform/qt/QtInputGate.h"
#include "platform/qt/QtUserControlWidget.h"

namespace qz {
namespace {

constexpr char kCancelButton[] = "cmdCancel";
// The layout's pixel sizes were designed with fonts at 96 dots per inch.
constexpr double kDesignDotsPerInch = 96;
constexpr double kPointsPerInch = 72;

QRect PixelRect(const Control& control) {
  return QRect(TwipsToPixels(control.Left()), TwipsToPixels(control.Top()),
               TwipsToPixels(control.Width()), TwipsToPixels(control.Height()));
}

// The family keeps the control's name; Qt renders it with the closest font the machine
// has. The size is the pixel height that the design's point size has at 96 dots per inch.
QFont QtFont(const FontSpec& spec) {
  QFont font(AnsiText::Decode(spec.name));
  font.setStyleHint(QFont::SansSerif);
  int pixels = static_cast<int>(std::lround(spec.size * kDesignDotsPerInch / kPointsPerInch));
  font.setPixelSize(std::max(1, pixels));
  font.setBold(spec.bold);
  return font;
}

QLabel* NewLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  // Captions are plain text, whatever they contain.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

QWidget* NewPanel(QWidget* parent) {
  auto* panel = new QWidget(parent);
  QPalette palette = panel->palette();
  palette.setColor(QPalette::Window, Qt::white);
  // Dark desktop themes must not put light text on the white panel.
  palette.setColor(QPalette::WindowText, Qt::black);
  panel->setPalette(palette);
  panel->setAutoFillBackground(true);
  return panel;
}

QLabel* NewPicture(QWidget* parent, const QImage& picture) {
  QLabel* label = NewLabel(parent);
  label->setPixmap(QPixmap::fromImage(picture));
  label->setAttribute(Qt::WA_TransparentForMouseEvents);
  return label;
}

void CentreOnScreen(QWidget& window) {
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    window.move(screen->availableGeometry().center() - window.rect().center());
  }
}

}  // namespace

QtFormHost::~QtFormHost() {
  for (auto& [form, realized] : forms_) delete realized.window;
  for (const QPointer<QWidget>& window : dying_) delete window.data();
}

void QtFormHost::Load(Form& form) {
  QtApplication::Ensure();
  if (forms_.count(&form) != 0) return;
  if (picture_.isNull()) {
    picture_ = Artwork::Picture();
    icon_ = Artwork::Icon();
  }

  Realized& realized = forms_[&form];
  realized.form = &form;
  auto* window = new QtFormWindow(Form::kClientWidth, Form::kClientHeight);
  realized.window = window;
  window->OnCloseBox([this, window] { CloseBoxOf(window); });
  window->OnEscape([this, window] {
    Deliver(window, [](Form& f) {
      const Control* cancel = f.FindControl(kCancelButton);
      if (cancel != nullptr && cancel->IsVisible()) f.Click(kCancelButton);
    });
  });
  window->setWindowTitle(AnsiText::Decode(form.Caption()));
  window->setWindowIcon(icon_);
  CentreOnScreen(*window);

  // Panels first, so that a control listed before its container still finds it.
  for (const auto& control : form.Controls()) {
    if (control->Kind() == ControlKind::kFrame) CreateWidget(realized, *control);
  }
  for (const auto& control : form.Controls()) {
    if (control->Kind() != ControlKind::kFrame) CreateWidget(realized, *control);
  }
  // Labels and the picture have no window of their own: they lie beneath the others,
  // the picture lowest.
  for (ControlKind windowless : {ControlKind::kLabel, ControlKind::kImage}) {
    for (const auto& control : form.Controls()) {
      if (control->Kind() != windowless) continue;
      if (QWidget* widget = WidgetOf(form, control->Name())) widget->lower();
    }
  }
  ApplyTabOrder(form, realized);
}

void QtFormHost::CreateWidget(Realized& realized, const Control& control) {
  QWidget* parent = realized.window;
  if (auto container = realized.widgets.find(control.Container());
      container != realized.widgets.end()) {
    parent = container->second;
  }

  QWidget* widget = nullptr;
  switch (control.Kind()) {
    case ControlKind::kLabel:
      widget = NewLabel(parent);
      break;
    case ControlKind::kCommandButton: {
      auto* button = new QPushButton(parent);
      // Enter presses the button that has the focus, as in a dialog.
      button->setAutoDefault(true);
      QtFormWindow* window = realized.window;
      std::string name = control.Name();
      QObject::connect(button, &QPushButton::clicked, window, [this, window, name] {
        Deliver(window, [&name](Form& f) { f.Click(name); });
      });
      widget = button;
      break;
    }
    case ControlKind::kFrame:
      widget = NewPanel(parent);
      break;
    case ControlKind::kImage:
      widget = NewPicture(parent, picture_);
      break;
    case ControlKind::kUserControl:
      if (control.Attached() == nullptr) return;
      widget = new QtUserControlWidget(parent, *control.Attached());
      break;
  }
  widget->setObjectName(QString::fromStdString(control.Name()));
  realized.widgets[control.Name()] = widget;
  ApplyState(*widget, control);
}

void QtFormHost::ApplyState(QWidget& widget, const Control& control) const {
  if (control.HasFont()) widget.setFont(QtFont(control.FontState()));
  QRect rect = PixelRect(control);
  QString caption = AnsiText::ForDisplay(control.CaptionText());
  if (control.Kind() == ControlKind::kCommandButton) {
    static_cast<QPushButton&>(widget).setText(caption);
  } else if (control.Kind() == ControlKind::kLabel) {
    auto& label = static_cast<QLabel&>(widget);
    label.setText(caption);
    label.setWordWrap(!control.AutoSize());
    // An auto-size label takes the size of its text, each line unbroken.
    if (control.AutoSize()) rect.setSize(QFontMetrics(label.font()).size(0, caption));
  }
  widget.setGeometry(rect);
  widget.setHidden(!control.IsVisible());
}

std::vector<QWidget*> QtFormHost::TabOrder(const Form& form, const Realized& realized) const {
  std::vector<const Control*> controls;
  for (const auto& control : form.Controls()) {
    if (control->TabIndex() >= 0) controls.push_back(control.get());
  }
  std::stable_sort(controls.begin(), controls.end(), [](const Control* a, const Control* b) {
    return a->TabIndex() < b->TabIndex();
  });
  std::vector<QWidget*> widgets;
  for (const Control* control : controls) {
    auto found = realized.widgets.find(control->Name());
    if (found == realized.widgets.end()) continue;
    if ((found->second->focusPolicy() & Qt::TabFocus) != 0) widgets.push_back(found->second);
  }
  return widgets;
}

void QtFormHost::ApplyTabOrder(const Form& form, const Realized& realized) const {
  std::vector<QWidget*> order = TabOrder(form, realized);
  for (size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
}

void QtFormHost::ControlChanged(Form& form, const Control& control) {
  if (QWidget* widget = WidgetOf(form, control.Name())) ApplyState(*widget, control);
}

void QtFormHost::Show(Form& form) {
  auto found = forms_.find(&form);
  if (found == forms_.end()) return;
  QtFormWindow* window = found->second.window;
  window->show();
  window->raise();
  window->activateWindow();
  if (window->focusWidget() != nullptr) return;
  for (QWidget* widget : TabOrder(form, found->second)) {
    if (widget->isVisibleTo(window) && widget->isEnabled()) {
      widget->setFocus(Qt::ActiveWindowFocusReason);
      return;
    }
  }
}

void QtFormHost::Hide(Form& form) {
  if (QWidget* window = WindowOf(form)) window->hide();
}

void QtFormHost::Unload(Form& form) {
  auto found = forms_.find(&form);
  if (found == forms_.end()) return;
  QtFormWindow* window = found->second.window;
  forms_.erase(found);
  window->hide();
  // The child window class has no meta-object of its own, so findChildren cannot tell it.
  for (QWidget* child : window->findChildren<QWidget*>()) {
    if (auto* userControl = dynamic_cast<QtUserControlWidget*>(child)) userControl->Detach();
  }
  // A window cannot go while one of its own events is being handled; Qt deletes it
  // once control is back in the event loop that delivered that event.
  if (QtApplication::Ensure().InHandler()) {
    window->deleteLater();
    dying_.emplace_back(window);
  } else {
    delete window;
  }
  std::erase_if(dying_, [](const QPointer<QWidget>& w) { return w.isNull(); });
  if (forms_.empty()) {
    for (QEventLoop* loop : loops_) loop->quit();
  }
}

void QtFormHost::RunUntilLastFormClosed() {
  QEventLoop loop;
  loops_.push_back(&loop);
  try {
    // A handler may unload the last form and load the next one: go on while any is loaded.
    while (!forms_.empty()) QtApplication::Ensure().Exec(loop);
  } catch (...) {
    loops_.pop_back();
    throw;
  }
  loops_.pop_back();
}

bool QtFormHost::HandleSystemEvents(int milliseconds) {
  if (forms_.empty() || handlingSystemEvents_) return false;
  QtApplication& application = QtApplication::Ensure();
  handlingSystemEvents_ = true;
  cancelRequested_ = false;
  QtInputGate gate(
      [this](QWidget& receiver, const QEvent& event) { return IsCancel(receiver, event); },
      [this] { RequestCancel(); });
  try {
    if (milliseconds <= 0) {
      application.ProcessEventsOnce();
    } else {
      QEventLoop loop;
      systemEventsLoop_ = &loop;
      QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
      application.Exec(loop);
    }
  } catch (...) {
    handlingSystemEvents_ = false;
    systemEventsLoop_ = nullptr;
    throw;
  }
  handlingSystemEvents_ = false;
  systemEventsLoop_ = nullptr;
  return cancelRequested_;
}

void QtFormHost::RequestCancel() {
  cancelRequested_ = true;
  if (systemEventsLoop_ != nullptr) systemEventsLoop_->quit();
}

void QtFormHost::CloseBoxOf(const QtFormWindow* window) {
  if (handlingSystemEvents_) {
    RequestCancel();
    return;
  }
  Deliver(window, [](Form& f) { f.CloseBox(); });
}

bool QtFormHost::IsCancel(QWidget& receiver, const QEvent& event) const {
  for (const auto& [form, realized] : forms_) {
    if (realized.window != receiver.window() || !realized.window->isVisible()) continue;
    const Control* cancel = form->FindControl(kCancelButton);
    if (cancel == nullptr || !cancel->IsVisible()) return false;
    auto button = realized.widgets.find(kCancelButton);
    const bool onButton = button != realized.widgets.end() && button->second == &receiver;
    switch (event.type()) {
      case QEvent::MouseButtonPress:
        return onButton && static_cast<const QMouseEvent&>(event).button() == Qt::LeftButton;
      case QEvent::Shortcut:
        return onButton;
      case QEvent::KeyPress: {
        const auto& key = static_cast<const QKeyEvent&>(event);
        return key.key() == Qt::Key_Escape && key.modifiers() == Qt::NoModifier;
      }
      default:
        return false;
    }
  }
  return false;
}

QWidget* QtFormHost::WindowOf(const Form& form) const {
  auto found = forms_.find(&form);
  return found == forms_.end() ? nullptr : found->second.window;
}

QWidget* QtFormHost::WidgetOf(const Form& form, const std::string& controlName) const {
  auto found = forms_.find(&form);
  if (found == forms_.end()) return nullptr;
  auto widget = found->second.widgets.find(controlName);
  return widget == found->second.widgets.end() ? nullptr : widget->second;
}

void QtFormHost::Deliver(const QtFormWindow* window, const std::function<void(Form&)>& action) {
  for (auto& [key, realized] : forms_) {
    if (realized.window != window) continue;
    Form* target = realized.form;
    QtApplication::Ensure().Dispatch([&] {
      // The handler may unload the form and drop the last reference to it.
      std::shared_ptr<Form> keepAlive = target->weak_from_this().lock();
      action(*target);
    });
    return;
  }
}

}  // namespace qz

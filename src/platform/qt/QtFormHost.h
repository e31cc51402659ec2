#pragma once

#include <QIcon>
#include <QImage>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "forms/FormHost.h"

class QEvent;
class QEventLoop;
class QWidget;

namespace qz {

class QtFormWindow;

// Realizes dialogs as Qt windows. Each control becomes a child widget at its design
// position (twips rounded to whole pixels): labels as word-wrapping transparent QLabels,
// buttons as QPushButtons with access keys, Frame1 as an opaque white panel, Image1 as
// the picture beneath everything, a user control slot as a QtUserControlWidget. Fonts
// are sized at 96 dots per inch, so the text fits the pixel layout on any screen.
class QtFormHost : public FormHost {
 public:
  QtFormHost() = default;
  ~QtFormHost() override;
  QtFormHost(const QtFormHost&) = delete;
  QtFormHost& operator=(const QtFormHost&) = delete;

  void Load(Form& form) override;
  void ControlChanged(Form& form, const Control& control) override;
  void Show(Form& form) override;
  void Hide(Form& form) override;
  void Unload(Form& form) override;
  void RunUntilLastFormClosed() override;
  // Runs Qt's events behind a QtInputGate, in a local event loop when waiting.
  bool HandleSystemEvents(int milliseconds) override;

  // The window of a loaded form, or null; for tests and screenshots.
  QWidget* WindowOf(const Form& form) const;
  // The widget of a control of a loaded form, or null.
  QWidget* WidgetOf(const Form& form, const std::string& controlName) const;

 private:
  struct Realized {
    Form* form = nullptr;
    QtFormWindow* window = nullptr;
    std::map<std::string, QWidget*> widgets;
  };

  void CreateWidget(Realized& realized, const Control& control);
  void ApplyState(QWidget& widget, const Control& control) const;
  // The widgets that take the focus with the Tab key, by tab index.
  std::vector<QWidget*> TabOrder(const Form& form, const Realized& realized) const;
  void ApplyTabOrder(const Form& form, const Realized& realized) const;
  // Runs `action` on the form that owns `window`, unless the form has been unloaded.
  void Deliver(const QtFormWindow* window, const std::function<void(Form&)>& action);
  // The close box of `window`: a cancel request while system events are handled.
  void CloseBoxOf(const QtFormWindow* window);
  // Whether `event` for `receiver` asks a shown form to cancel.
  bool IsCancel(QWidget& receiver, const QEvent& event) const;
  void RequestCancel();

  std::map<const Form*, Realized> forms_;
  // Windows unloaded from inside one of their own events, waiting for Qt to delete them.
  std::vector<QPointer<QWidget>> dying_;
  std::vector<QEventLoop*> loops_;
  // Set while HandleSystemEvents runs: forms get no input then.
  bool handlingSystemEvents_ = false;
  bool cancelRequested_ = false;
  QEventLoop* systemEventsLoop_ = nullptr;
  // Made at the first Load: a QPixmap cannot exist before the application.
  QImage picture_;
  QIcon icon_;
};

}  // namespace qz

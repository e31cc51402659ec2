#pragma once

#include <QObject>
#include <functional>

class QEvent;
class QWidget;

namespace qz {

// While it exists, no user input (keys, mouse, wheel, touch, shortcuts) reaches any widget
// of the application: every such event is dropped. Events that `isCancel` accepts are
// dropped too, but reported through `onCancel`. Everything else (painting, moving, focus,
// the window system's pings) passes as usual.
class QtInputGate : public QObject {
 public:
  using CancelTest = std::function<bool(QWidget& receiver, const QEvent& event)>;

  QtInputGate(CancelTest isCancel, std::function<void()> onCancel);
  ~QtInputGate() override;
  QtInputGate(const QtInputGate&) = delete;
  QtInputGate& operator=(const QtInputGate&) = delete;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CancelTest isCancel_;
  std::function<void()> onCancel_;
};

}  // namespace qz

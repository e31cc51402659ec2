#pragma once

#include <QWidget>

namespace qz {

class UserControl;

// The child window of a user control on a Qt dialog: forwards paint, resize and
// destruction to the control and serves as its site.
class QtUserControlWidget : public QWidget {
 public:
  QtUserControlWidget(QWidget* parent, UserControl& control);
  ~QtUserControlWidget() override;
};

}  // namespace qz

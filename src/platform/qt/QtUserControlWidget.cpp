#include "platform/qt/QtUserControlWidget.h"

namespace qz {

QtUserControlWidget::QtUserControlWidget(QWidget* parent, UserControl&) : QWidget(parent) {}

QtUserControlWidget::~QtUserControlWidget() = default;

}  // namespace qz

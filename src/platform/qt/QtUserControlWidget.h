#pragma once

#include <QImage>
#include <QWidget>

#include "platform/PixelCanvas.h"
#include "platform/UserControlSite.h"

namespace qz {

class UserControl;

// The child window of a user control on a Qt dialog. It is the control's site: it keeps
// the window's surface (the pixels the control last put there) and shows it on every
// repaint, draws text with Qt, shapes the window with a mask and answers system colours
// from the palette. Paint, resize and destruction are forwarded to the control; a
// qz::Error from the control's handlers is dropped, like a failed platform drawing.
class QtUserControlWidget : public QWidget, public UserControlSite {
 public:
  // Initializes `control` with this window as its site; `control` must outlive the
  // window or be detached from it first.
  QtUserControlWidget(QWidget* parent, UserControl& control);
  ~QtUserControlWidget() override;

  // Terminates the control and forgets it, so a window whose deletion is deferred never
  // calls a control that has gone in the meantime. Later calls do nothing.
  void Detach();

  int32_t ClientWidth() const override { return width(); }
  int32_t ClientHeight() const override { return height(); }
  PixelCanvas& Surface() override;
  void ShowSurface() override;
  void SetBackColor(uint32_t color) override;
  void DrawText(PixelCanvas& target, const Rect& rect, std::string_view text,
                uint32_t color) override;
  void SetWindowRegion(const Rect& bounds, std::span<const Rect> removed) override;
  uint32_t SysColor(int32_t index) const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  UserControl* control_;
  PixelCanvas surface_;
  QImage shown_;  // the surface in the screen's pixel format
  uint32_t backColor_ = 0xFFFFFF;
  bool painting_ = false;    // the control is drawing inside a paint event
  bool presenting_ = false;  // a repaint that only shows the surface
};

}  // namespace qz

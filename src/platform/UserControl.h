#pragma once

namespace qz {

class UserControlSite;

// A control that draws itself in a child window of a dialog (the progress bar). The form
// host makes the window and its site and forwards the window's life-cycle events.
class UserControl {
 public:
  virtual ~UserControl() = default;

  // The child window exists: the control takes its site and initializes itself.
  virtual void UserControl_Initialize(UserControlSite& site) = 0;
  virtual void UserControl_Paint() = 0;
  virtual void UserControl_Resize() = 0;
  // The child window is going away; the site is no longer usable after this call.
  virtual void UserControl_Terminate() = 0;
};

}  // namespace qz

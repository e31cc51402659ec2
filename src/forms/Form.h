#pragma once

#include <memory>
#include <string>
#include <vector>

#include "forms/Control.h"
#include "forms/FormDesign.h"

namespace qz {

class FormHost;

// A toolkit-neutral dialog: its caption, its plain control objects and its state.
// The form host realizes it as a window; the dialog's own code changes only controls.
// Forms are held by shared_ptr so that a handler can unload its own form (which clears
// the single-instance reference) and still finish running.
class Form : public std::enable_shared_from_this<Form> {
 public:
  static constexpr int kClientWidth = 494;   // pixels
  static constexpr int kClientHeight = 362;  // pixels

  // A form with the caption and every control of `design`, in design order.
  Form(FormHost& host, const FormDesign& design);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& Caption() const { return caption_; }
  bool IsLoaded() const { return loaded_; }
  bool IsShown() const { return shown_; }

  // Every control, in design order (the dialog's control collection).
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }
  Control* FindControl(const std::string& name) const;

  // Loads the form on first use: the host creates the window, then Form_Load runs.
  void EnsureLoaded();
  // Shows the form modeless, in front, with the focus.
  void Show();
  void Hide();
  // Runs Form_Unload and destroys the window; the object lives while it is held.
  void Unload();

  // Called by the host: a click on a button (Esc clicks "cmdCancel").
  virtual void Click(const std::string& controlName) = 0;
  // Called by the host when the close box is used; unloads the form unless a dialog
  // keeps its window while it works.
  virtual void CloseBox();

  // Called by controls when they change.
  void ControlChanged(const Control& control);

 protected:
  // Replaces "MS Sans Serif" (exactly) by "Microsoft Sans Serif" on every control;
  // each failing step is skipped.
  void SubstituteFonts();

  virtual void Form_Load() = 0;
  virtual void Form_Unload() = 0;

  FormHost& host_;

 private:
  Control& AddControl(ControlDesign design);

  std::string caption_;
  std::vector<std::unique_ptr<Control>> controls_;
  bool loaded_ = false;
  bool loading_ = false;
  bool shown_ = false;
};

}  // namespace qz

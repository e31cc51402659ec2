#pragma once

namespace qz {

class Control;
class Form;

// Realizes toolkit-neutral dialogs (qz::Form) as real windows and keeps each window in
// step with its controls. Clicks, the Esc key (a click of "cmdCancel") and the close box
// come back as Form::Click and Form::CloseBox.
class FormHost {
 public:
  virtual ~FormHost() = default;

  // Creates the hidden window of `form` with every control of its design.
  virtual void Load(Form& form) = 0;

  // Brings the window's copy of `control` in step with it (caption, visibility,
  // position, size, font).
  virtual void ControlChanged(Form& form, const Control& control) = 0;

  // Shows the window modeless, brings it to the front and gives it the focus.
  virtual void Show(Form& form) = 0;

  virtual void Hide(Form& form) = 0;

  // Destroys the window; the form object stays as long as someone holds it.
  virtual void Unload(Form& form) = 0;

  // Runs the message loop until no form is loaded any more.
  virtual void RunUntilLastFormClosed() = 0;
};

}  // namespace qz

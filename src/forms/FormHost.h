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

  // Keeps the windows alive while the program is busy: handles the window system's
  // events that need no decision of the program (painting, moving, the system's checks
  // that the program still answers) for up to `milliseconds` as they arrive, without
  // spinning; 0 handles only those already waiting. User input reaches no form and is
  // dropped, except that a cancel request (a click on a form's visible "cmdCancel", its
  // access key, Esc in its window, or the close box) is reported: the call then returns
  // true at once. Without loaded forms it returns false at once.
  virtual bool HandleSystemEvents(int milliseconds) = 0;
};

}  // namespace qz

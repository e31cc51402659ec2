#pragma once

#include <map>
#include <memory>
#include <string>

#include "forms/FormHost.h"
#include "platform/win32/WindowsApi.h"

namespace qz {

class Win32Artwork;
class Win32FontCache;
class Win32FormWindow;
class Win32MessagePump;

// Realizes dialogs as Win32 dialog windows (Win32FormWindow): positions, sizes and fonts
// at the screen's resolution, push buttons themed by the common controls of the
// application manifest, the dialog manager's keyboard handling through the message pump.
class Win32FormHost : public FormHost {
 public:
  // `pump` must outlive the host; it is shared with the prompts.
  explicit Win32FormHost(Win32MessagePump& pump);
  ~Win32FormHost() override;
  Win32FormHost(const Win32FormHost&) = delete;
  Win32FormHost& operator=(const Win32FormHost&) = delete;

  void Load(Form& form) override;
  void ControlChanged(Form& form, const Control& control) override;
  void Show(Form& form) override;
  void Hide(Form& form) override;
  void Unload(Form& form) override;
  void RunUntilLastFormClosed() override;
  // Paints, moves and answers the system's checks while blocking every input message but
  // a cancel request; waits with MsgWaitForMultipleObjectsEx, never spinning.
  bool HandleSystemEvents(int milliseconds);

  // The window of a loaded form, or null; for tests and screenshots.
  HWND WindowOf(const Form& form) const;
  // The child window of a button or user control of a loaded form, or null.
  HWND ControlWindowOf(const Form& form, const std::string& controlName) const;
  // A control's rectangle in its dialog's client area (pixels); empty if unknown.
  RECT ControlRectOf(const Form& form, const std::string& controlName) const;
  // Dots per inch of the screen the dialogs are laid out for.
  int DotsPerInch() const;

 private:
  Win32FormWindow* Find(const Form& form) const;
  // Whether input `message` asks a shown form to cancel: a click on its visible
  // cmdCancel, Esc, the button's access key, Alt+F4 or the close box.
  bool IsCancel(const MSG& message) const;

  Win32MessagePump& pump_;
  std::unique_ptr<Win32FontCache> fonts_;
  std::unique_ptr<Win32Artwork> artwork_;
  std::map<const Form*, Win32FormWindow*> windows_;
};

}  // namespace qz

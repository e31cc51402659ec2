#pragma once

#include <string>

namespace qz {

class Form;
class UserControl;

enum class ControlKind { kLabel, kCommandButton, kFrame, kImage, kUserControl };

struct FontSpec {
  std::string name;
  double size = 8;
  bool bold = false;
};

// The design of one control: what the dialog's layout table holds. Positions and sizes
// are twips (15 a pixel), relative to the container: the dialog ("") or "Frame1".
struct ControlDesign {
  std::string name;
  ControlKind kind = ControlKind::kLabel;
  std::string container;
  int left = 0, top = 0, width = 0, height = 0;
  std::string caption;
  int tabIndex = -1;  // -1: not in the tab order (windowless controls)
  FontSpec font{"MS Sans Serif", 8, false};
  bool autoSize = false;
};

// A plain control object. The dialog's code changes only these; every change is handed
// to the form host, which keeps the real window in step. The first use of a control
// loads its form (Form_Load runs then), as the first use of a control does in a dialog.
class Control {
 public:
  Control(Form& owner, ControlDesign design);

  const std::string& Name() const { return design_.name; }
  ControlKind Kind() const { return design_.kind; }
  const std::string& Container() const { return design_.container; }
  int Left() const { return design_.left; }
  int Top() const { return design_.top; }
  int Width() const { return design_.width; }
  int Height() const { return design_.height; }
  int TabIndex() const { return design_.tabIndex; }
  bool AutoSize() const { return design_.autoSize; }
  const std::string& CaptionText() const { return design_.caption; }
  bool IsVisible() const { return visible_; }
  // The font as set, for the host; a control without a font has none.
  const FontSpec& FontState() const { return design_.font; }
  bool HasFont() const;

  // Reads the caption; loads the form on first use.
  const std::string& Caption();
  void SetCaption(const std::string& caption);
  bool Visible();
  void SetVisible(bool visible);
  void SetTop(int twips);
  int GetTop();

  // The font name; throws error 438 on a control that has no font (the picture).
  const std::string& FontName();
  void SetFontName(const std::string& name);

  // The user control placed in this slot, if any (the progress bar).
  UserControl* Attached() const { return attached_; }
  void Attach(UserControl* control) { attached_ = control; }

 private:
  void Touch();
  void Changed();

  Form& owner_;
  ControlDesign design_;
  bool visible_ = true;
  UserControl* attached_ = nullptr;
};

}  // namespace qz

#pragma once

#include <string>

namespace qz {

// A font as a control describes it; the platform turns it into a real font when it draws
// text. Sizes are points at 96 pixels an inch, the resolution dialogs are laid out in.
struct ControlFont {
  std::string name;
  double size = 8;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;
};

}  // namespace qz

#pragma once

#include <string>
#include <string_view>

namespace qz {

// The updater's command line on Windows: the process's whole command line without the
// program's own path, read as one string and never split into words.
class Win32CommandLine {
 public:
  // What follows the program's path in `whole` (quoted or not), without the blanks that
  // separate the two; blanks at the end stay, as they decide the mode.
  static std::wstring_view Arguments(std::wstring_view whole);
  // The process's own command line under that rule, in the ANSI code page.
  static std::string Current();
};

}  // namespace qz

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qz {

// The updater's command line on Windows: the process's whole command line without the
// program's own path, read as one string and never split into words.
class Win32CommandLine {
 public:
  // What follows the program's path in `whole`, without the blanks that separate the two;
  // blanks at the end stay, as they decide the mode. A quoted path ends at its closing
  // quote. An unquoted one is the longest part up to a blank that names one of `program`
  // (the executable's full path in its forms; letter case, "/" for "\", a missing ".exe"
  // and a path relative to one of its folders do not matter), else ends at the first blank.
  static std::wstring_view Arguments(std::wstring_view whole,
                                     const std::vector<std::wstring>& program = {});
  // The process's own command line under that rule, in the ANSI code page, with the
  // executable's long and short (8.3) paths as its forms.
  static std::string Current();
};

}  // namespace qz

#pragma once

#include <string>
#include <string_view>

namespace qz {

// The program's 8-bit texts are in the system's ANSI code page; the window and message
// box services take UTF-16. Conversions happen here, at the boundary, and never fail:
// bytes the code page cannot map become the code page's replacement character.
class AnsiCodePage {
 public:
  static std::wstring ToWide(std::string_view text);
  static std::string FromWide(std::wstring_view text);
};

}  // namespace qz

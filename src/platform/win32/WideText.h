#pragma once

#include <string>
#include <string_view>

namespace qz {

// The program's 8-bit text is in the ANSI code page, as every 8-bit Windows program's is;
// the Win32 calls take UTF-16. These convert at that boundary and never fail.
class WideText {
 public:
  // `ansi` in the ANSI code page as UTF-16.
  static std::wstring FromAnsi(std::string_view ansi);
  // `wide` in the ANSI code page; characters it lacks become the code page's default ("?").
  static std::string ToAnsi(std::wstring_view wide);
  // `wide` as UTF-8, for keys that must not depend on the code page.
  static std::string ToUtf8(std::wstring_view wide);
};

}  // namespace qz

#include "platform/win32/Win32CommandLine.h"

#include "platform/win32/WideText.h"
#include "platform/win32/WindowsApi.h"

namespace qz {

std::wstring_view Win32CommandLine::Arguments(std::wstring_view whole) {
  size_t at = 0;
  // The program's path ends at the closing quote when it starts with one, else at the
  // first blank: the same rule by which Windows finds the program.
  if (!whole.empty() && whole.front() == L'"') {
    const size_t closing = whole.find(L'"', 1);
    at = closing == std::wstring_view::npos ? whole.size() : closing + 1;
  } else {
    at = whole.find_first_of(L" \t");
    if (at == std::wstring_view::npos) at = whole.size();
  }
  while (at < whole.size() && (whole[at] == L' ' || whole[at] == L'\t')) ++at;
  return whole.substr(at);
}

std::string Win32CommandLine::Current() {
  return WideText::ToAnsi(Arguments(GetCommandLineW()));
}

}  // namespace qz

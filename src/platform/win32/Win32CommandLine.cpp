#include "platform/win32/Win32CommandLine.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32ProgramPath.h"
#include "platform/win32/WindowsApi.h"

namespace qz {
namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// `text` as the file system compares names: upper case by the system's own table, and
// one separator.
std::wstring Folded(std::wstring_view text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) {
    if (c == L'/') c = L'\\';
  }
  if (!folded.empty()) CharUpperBuffW(folded.data(), static_cast<DWORD>(folded.size()));
  return folded;
}

// Whether `typed` (folded) is `form` (folded) or a path to it relative to one of its
// folders.
bool Reaches(const std::wstring& typed, const std::wstring& form) {
  if (typed.size() > form.size()) return false;
  const size_t start = form.size() - typed.size();
  return form.compare(start, typed.size(), typed) == 0 && (start == 0 || form[start - 1] == L'\\');
}

bool Names(std::wstring_view typed, const std::vector<std::wstring>& program) {
  const std::wstring folded = Folded(typed);
  for (const std::wstring& path : program) {
    const std::wstring form = Folded(path);
    if (Reaches(folded, form)) return true;
    // Windows also finds the program when ".exe" is left out.
    constexpr std::wstring_view kExe = L".EXE";
    if (form.ends_with(kExe) && Reaches(folded, form.substr(0, form.size() - kExe.size()))) {
      return true;
    }
  }
  return false;
}

// Where an unquoted program path ends. A plain Shell call leaves a path with blanks
// unquoted and Windows then tries each blank in turn, so the first blank alone would cut
// such a path short and read the rest of it as the arguments.
size_t UnquotedEnd(std::wstring_view whole, const std::vector<std::wstring>& program) {
  for (size_t end = whole.size(); end > 0; --end) {
    const bool endsPart = end == whole.size() || IsBlank(whole[end]);
    if (endsPart && !IsBlank(whole[end - 1]) && Names(whole.substr(0, end), program)) return end;
  }
  const size_t blank = whole.find_first_of(L" \t");
  return blank == std::wstring_view::npos ? whole.size() : blank;
}

}  // namespace

std::wstring_view Win32CommandLine::Arguments(std::wstring_view whole,
                                              const std::vector<std::wstring>& program) {
  size_t at = 0;
  if (!whole.empty() && whole.front() == L'"') {
    const size_t closing = whole.find(L'"', 1);
    at = closing == std::wstring_view::npos ? whole.size() : closing + 1;
  } else {
    at = UnquotedEnd(whole, program);
  }
  while (at < whole.size() && IsBlank(whole[at])) ++at;
  return whole.substr(at);
}

std::string Win32CommandLine::Current() {
  const std::wstring full = Win32ProgramPath::Full();
  const std::vector<std::wstring> program{full, Win32ProgramPath::Long(full),
                                          Win32ProgramPath::Short(full)};
  return WideText::ToAnsi(Arguments(GetCommandLineW(), program));
}

}  // namespace qz

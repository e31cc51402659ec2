#include "platform/win32/Win32Prompts.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/Win32CommandLine.h"
#include "platform/win32/Win32MessagePump.h"
#include "platform/win32/WindowsApi.h"

namespace qz {
namespace {

// Wine shows windows only when its server was started on an X display.
bool WindowsCanBeShown() {
  HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  if (probe == nullptr) return false;
  DestroyWindow(probe);
  return true;
}

// Answers the next top-level window titled `title` from another thread, as a user would:
// waits for it (up to five seconds), hands it to `answer`, which sees it and closes it.
class Answerer {
 public:
  Answerer(std::wstring title, std::function<void(HWND)> answer)
      : thread_([title, answer] {
          for (int tries = 0; tries < 500; ++tries) {
            if (HWND window = FindWindowW(nullptr, title.c_str())) {
              Sleep(50);
              answer(window);
              return;
            }
            Sleep(10);
          }
        }) {}
  ~Answerer() { thread_.join(); }

 private:
  std::thread thread_;
};

std::wstring BoxText(HWND box) {
  wchar_t text[512] = {};
  // The message text of a system message box is its static control 0xFFFF.
  GetDlgItemTextW(box, 0xFFFF, text, 512);
  return text;
}

class Win32PromptsTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!WindowsCanBeShown()) GTEST_SKIP() << "no display: Wine makes no windows without one";
  }

  Win32MessagePump pump;
  Win32Prompts prompts{pump};
};

// Texts come in the ANSI code page (Windows-1252 here: é is 0xE9) with CR LF line breaks;
// the answer is the button that closed the box.
TEST_F(Win32PromptsTest, MessageBoxesShowAnsiTextAndReturnTheButtonPressed) {
  std::wstring seen;
  {
    Answerer user(L"Caf\u00e9 ...", [&](HWND box) {
      seen = BoxText(box);
      PostMessageW(box, WM_COMMAND, IDRETRY, 0);
    });
    EXPECT_EQ(
        prompts.MsgBox("First line\r\nCaf\xE9 second", kRetryCancel | kExclamation, "Caf\xE9 ..."),
        MsgBoxResult::kRetry);
  }
  EXPECT_EQ(seen, L"First line\r\nCaf\u00e9 second");
  {
    Answerer user(L"Oops ...", [](HWND box) { PostMessageW(box, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_EQ(prompts.MsgBox("Cancel?", kYesNoCancel | kCritical, "Oops ..."),
              MsgBoxResult::kCancel);
  }
  {
    Answerer user(L"QzUpdate", [](HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); });
    EXPECT_EQ(prompts.MsgBox("No title", kOkOnly | kInformation, ""), MsgBoxResult::kOk);
  }
}

TEST_F(Win32PromptsTest, InputBoxReturnsTheTextAfterOkAndNothingAfterCancel) {
  std::wstring shownDefault;
  {
    Answerer user(L"Password ...", [&](HWND box) {
      HWND edit = FindWindowExW(box, nullptr, L"EDIT", nullptr);
      wchar_t text[64] = {};
      GetWindowTextW(edit, text, 64);
      shownDefault = text;
      SetWindowTextW(edit, L"s\u00e9cret");
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(prompts.InputBox("Enter the password", "Password ...",
                               "d\xE9"
                               "fault"),
              "s\xE9"
              "cret");
  }
  EXPECT_EQ(shownDefault, L"d\u00e9fault");
  {
    Answerer user(L"Password ...", [](HWND box) { PostMessageW(box, WM_CLOSE, 0, 0); });
    EXPECT_EQ(prompts.InputBox("Enter the password", "Password ...", "typed"), "");
  }
}

TEST(Win32CommandLineTest, IsWhatFollowsTheProgramPathUntrimmedAtTheEnd) {
  EXPECT_EQ(Win32CommandLine::Arguments(L"qzupdate.exe /Silent"), L"/Silent");
  EXPECT_EQ(Win32CommandLine::Arguments(L"\"C:\\Program Files\\Vq\\qzupdate.exe\"  /Verbose"),
            L"/Verbose");
  EXPECT_EQ(Win32CommandLine::Arguments(L"\"C:\\Vq\\qzupdate.exe\"/Verbose"), L"/Verbose");
  EXPECT_EQ(Win32CommandLine::Arguments(L"qzupdate.exe /Silent "), L"/Silent ");
  EXPECT_EQ(Win32CommandLine::Arguments(L"qzupdate.exe /Silent /Verbose"), L"/Silent /Verbose");
  EXPECT_EQ(Win32CommandLine::Arguments(L"qzupdate.exe    "), L"");
  EXPECT_EQ(Win32CommandLine::Arguments(L"qzupdate.exe"), L"");
  EXPECT_EQ(Win32CommandLine::Arguments(L"\"C:\\Vq\\qzupdate.exe"), L"");
}

// A plain Shell call passes a program path with blanks unquoted; the arguments start
// after the longest part that names this program, whatever its form.
TEST(Win32CommandLineTest, FindsAnUnquotedProgramPathWithBlanks) {
  const std::vector<std::wstring> program{L"C:\\Program Files\\Vq Tools\\qz update.exe",
                                          L"C:\\PROGRA~1\\VQTOOL~1\\QZUPDA~1.EXE"};
  auto arguments = [&](std::wstring_view whole) {
    return std::wstring(Win32CommandLine::Arguments(whole, program));
  };
  EXPECT_EQ(arguments(L"C:\\Program Files\\Vq Tools\\qz update.exe /Silent"), L"/Silent");
  EXPECT_EQ(arguments(L"c:\\PROGRAM FILES\\vq tools\\QZ UPDATE.EXE /Verbose"), L"/Verbose");
  EXPECT_EQ(arguments(L"C:\\Program Files\\Vq Tools\\qz update\t/Silent "), L"/Silent ");
  EXPECT_EQ(arguments(L"C:/Program Files/Vq Tools/qz update.exe  /Silent"), L"/Silent");
  EXPECT_EQ(arguments(L"C:\\PROGRA~1\\VqTool~1\\qzupda~1.exe /Silent"), L"/Silent");
  EXPECT_EQ(arguments(L"C:\\Program Files\\Vq Tools\\qz update.exe"), L"");
  EXPECT_EQ(arguments(L"\"C:\\Program Files\\Vq Tools\\qz update.exe\" /Silent"), L"/Silent");
  // A relative path, as from the host's own folder.
  EXPECT_EQ(arguments(L"Vq Tools\\qz update.exe /Silent"), L"/Silent");
  // Paths that merely begin like the program's: the first blank ends them.
  EXPECT_EQ(arguments(L"C:\\Program Files\\Vq Tools\\qz update.exe.bak /Silent"),
            L"Files\\Vq Tools\\qz update.exe.bak /Silent");
  EXPECT_EQ(arguments(L"C:\\Program Files\\Vq Tools\\qz /Silent"), L"Files\\Vq Tools\\qz /Silent");
  // An argument that repeats the program's name is not part of the path.
  EXPECT_EQ(arguments(L"C:\\Program Files\\Vq Tools\\qz update.exe qz update.exe"),
            L"qz update.exe");
}

}  // namespace
}  // namespace qz

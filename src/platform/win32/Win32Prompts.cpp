#include "platform/win32/Win32Prompts.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32InputBox.h"
#include "platform/win32/Win32MessagePump.h"
#include "platform/win32/WindowsApi.h"

namespace qz {
namespace {

constexpr char kDefaultTitle[] = "QzUpdate";
// The styles' button and icon values are those of MessageBoxW; only these bits pass.
constexpr int kButtonsMask = 0x7;
constexpr int kIconMask = 0x70;

std::wstring Title(const std::string& title) {
  return WideText::FromAnsi(title.empty() ? kDefaultTitle : title);
}

MsgBoxResult ResultOf(int answer, int style) {
  switch (answer) {
    case IDOK:
      return MsgBoxResult::kOk;
    case IDCANCEL:
      return MsgBoxResult::kCancel;
    case IDRETRY:
      return MsgBoxResult::kRetry;
    case IDYES:
      return MsgBoxResult::kYes;
    case IDNO:
      return MsgBoxResult::kNo;
    default:
      // No box could be shown: the answer that changes nothing.
      return (style & kButtonsMask) == kOkOnly ? MsgBoxResult::kOk : MsgBoxResult::kCancel;
  }
}

}  // namespace

MsgBoxResult Win32Prompts::MsgBox(const std::string& body, int style, const std::string& title) {
  const UINT flags = static_cast<UINT>(style & (kButtonsMask | kIconMask)) | MB_TASKMODAL |
                     MB_SETFOREGROUND | MB_TOPMOST;
  const int answer =
      MessageBoxW(nullptr, WideText::FromAnsi(body).c_str(), Title(title).c_str(), flags);
  pump_.RethrowPending();
  return ResultOf(answer, style);
}

std::string Win32Prompts::InputBox(const std::string& prompt, const std::string& title,
                                   const std::string& defaultText) {
  Win32InputBox box(pump_, WideText::FromAnsi(prompt), Title(title),
                    WideText::FromAnsi(defaultText));
  return WideText::ToAnsi(box.Run());
}

void Win32Prompts::DoEvents() {
  pump_.PumpOnce();
}

void Win32Prompts::SetBusyPointer(bool busy) {
  pump_.SetBusy(busy);
}

}  // namespace qz

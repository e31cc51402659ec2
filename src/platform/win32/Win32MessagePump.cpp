#include "platform/win32/Win32MessagePump.h"

#include <utility>

namespace qz {

void Win32MessagePump::Dispatch(const std::function<void()>& handler) {
  if (pending_) return;
  try {
    handler();
  } catch (...) {
    pending_ = std::current_exception();
  }
}

void Win32MessagePump::Handle(MSG& message) {
  // Tab, the arrow keys, Esc, Enter and access keys work as in any dialog.
  HWND root = message.hwnd != nullptr ? GetAncestor(message.hwnd, GA_ROOT) : nullptr;
  if (root != nullptr && IsDialogMessageW(root, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void Win32MessagePump::PumpOnce() {
  MSG message;
  while (!pending_ && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      break;
    }
    Handle(message);
  }
  RethrowPending();
}

void Win32MessagePump::RunUntil(const std::function<bool()>& done) {
  MSG message;
  while (!pending_ && !done()) {
    if (GetMessageW(&message, nullptr, 0, 0) <= 0) break;
    Handle(message);
  }
  RethrowPending();
}

void Win32MessagePump::RethrowPending() {
  if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
}

void Win32MessagePump::SetInputBlocked(bool blocked) {
  inputBlocked_ = blocked;
  cancelRequested_ = false;
}

void Win32MessagePump::SetBusy(bool busy) {
  busy_ = busy;
  // The program may block right after this call, so the pointer changes now, not at the
  // next mouse move.
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

bool Win32MessagePump::ApplyPointer() const {
  if (!busy_) return false;
  SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  return true;
}

}  // namespace qz

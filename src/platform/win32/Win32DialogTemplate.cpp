#include "platform/win32/Win32DialogTemplate.h"

namespace qz {

Win32DialogTemplate::Win32DialogTemplate(DWORD style, DWORD extendedStyle) {
  DLGTEMPLATE header{};
  header.style = style & ~static_cast<DWORD>(WS_VISIBLE);
  header.dwExtendedStyle = extendedStyle;
  const size_t headerWords = sizeof header / sizeof(WORD);
  // After the header: no menu, the default dialog class, an empty title.
  words_.assign(headerWords + 3, 0);
  CopyMemory(words_.data(), &header, sizeof header);
}

HWND Win32DialogTemplate::Create(HWND owner, DLGPROC procedure, LPARAM parameter) const {
  // The vector's storage is aligned for any scalar, so the template is DWORD-aligned.
  const auto* dialog = reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  return CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialog, owner, procedure, parameter);
}

}  // namespace qz

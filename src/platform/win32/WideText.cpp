#include "platform/win32/WideText.h"

#include <windows.h>

namespace qz {
namespace {

std::string Narrow(std::wstring_view wide, UINT codePage) {
  if (wide.empty()) return {};
  int size = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                 0, nullptr, nullptr);
  std::string narrow(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}

}  // namespace

std::wstring WideText::FromAnsi(std::string_view ansi) {
  if (ansi.empty()) return {};
  int size = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), size);
  return wide;
}

std::string WideText::ToAnsi(std::wstring_view wide) {
  return Narrow(wide, CP_ACP);
}

std::string WideText::ToUtf8(std::wstring_view wide) {
  return Narrow(wide, CP_UTF8);
}

}  // namespace qz

#include "platform/win32/AnsiCodePage.h"

#include "platform/win32/WindowsApi.h"

namespace qz {

std::wstring AnsiCodePage::ToWide(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int wide = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
  std::wstring result(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), length, result.data(), wide);
  return result;
}

std::string AnsiCodePage::FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string result(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, result.data(), bytes, nullptr, nullptr);
  return result;
}

}  // namespace qz

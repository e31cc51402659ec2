#include "libunzip32/CallerText.h"

#include <windows.h>

namespace qz::unzip32 {
namespace {

std::string Convert(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  int wideLength =
      MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(wideLength), L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideLength);
  int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  std::string converted(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(to, 0, wide.data(), wideLength, converted.data(), length, nullptr, nullptr);
  return converted;
}

}  // namespace

std::string CallerText::Inward(const char* text) {
  return text != nullptr ? Convert(text, CP_ACP, CP_UTF8) : "";
}

std::string CallerText::Outward(const std::string& text) {
  return Convert(text, CP_UTF8, CP_ACP);
}

}  // namespace qz::unzip32

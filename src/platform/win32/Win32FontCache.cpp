#include "platform/win32/Win32FontCache.h"

#include <algorithm>
#include <cmath>

#include "platform/win32/WideText.h"

namespace qz {
namespace {

constexpr double kPointsPerInch = 72;

}  // namespace

Win32FontCache::~Win32FontCache() {
  for (auto& [key, font] : fonts_) DeleteObject(font);
}

HFONT Win32FontCache::Get(const ControlFont& font) {
  Key key{font.name, font.size, font.bold, font.italic, font.underline, font.strikethrough};
  if (auto found = fonts_.find(key); found != fonts_.end()) return found->second;

  LOGFONTW description{};
  // A negative height asks for the character height, which is what a point size means.
  description.lfHeight = -std::max(1L, std::lround(font.size * dotsPerInch_ / kPointsPerInch));
  description.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  description.lfItalic = font.italic;
  description.lfUnderline = font.underline;
  description.lfStrikeOut = font.strikethrough;
  description.lfCharSet = ANSI_CHARSET;
  description.lfOutPrecision = OUT_DEFAULT_PRECIS;
  description.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  description.lfQuality = DEFAULT_QUALITY;
  description.lfPitchAndFamily = DEFAULT_PITCH | FF_SWISS;
  std::wstring face = WideText::FromAnsi(font.name).substr(0, LF_FACESIZE - 1);
  std::copy(face.begin(), face.end(), description.lfFaceName);

  HFONT made = CreateFontIndirectW(&description);
  if (made == nullptr) return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  fonts_.emplace(std::move(key), made);
  return made;
}

}  // namespace qz

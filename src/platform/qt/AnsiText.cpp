#include "platform/qt/AnsiText.h"

#include <array>
#include <cstdint>

namespace qz {
namespace {

// Windows-1252 from 0x80 to 0x9F; the five unassigned bytes keep their C1 code points, as
// the Windows conversion does. Every other byte is the code point of the same value.
constexpr std::array<char16_t, 32> kHighControlRange = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString FromWindows1252(std::string_view bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (char c : bytes) {
    auto byte = static_cast<uint8_t>(c);
    bool inTable = byte >= 0x80 && byte <= 0x9F;
    text.append(QChar(inTable ? kHighControlRange[byte - 0x80] : char16_t{byte}));
  }
  return text;
}

// The number of continuation bytes after `lead` and the allowed range of the first one;
// the narrower ranges exclude overlong forms, surrogates and values above U+10FFFF.
struct LeadByte {
  int continuations;
  uint8_t low;
  uint8_t high;
};

LeadByte Classify(uint8_t lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {1, 0x80, 0xBF};
  if (lead == 0xE0) return {2, 0xA0, 0xBF};
  if (lead == 0xED) return {2, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {2, 0x80, 0xBF};
  if (lead == 0xF0) return {3, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {3, 0x80, 0xBF};
  if (lead == 0xF4) return {3, 0x80, 0x8F};
  return {-1, 0, 0};
}

}  // namespace

bool AnsiText::IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    auto lead = static_cast<uint8_t>(bytes[i++]);
    if (lead < 0x80) continue;
    LeadByte kind = Classify(lead);
    if (kind.continuations < 0 || bytes.size() - i < static_cast<size_t>(kind.continuations)) {
      return false;
    }
    auto first = static_cast<uint8_t>(bytes[i++]);
    if (first < kind.low || first > kind.high) return false;
    for (int n = 1; n < kind.continuations; ++n) {
      auto next = static_cast<uint8_t>(bytes[i++]);
      if (next < 0x80 || next > 0xBF) return false;
    }
  }
  return true;
}

QString AnsiText::Decode(std::string_view bytes) {
  if (IsValidUtf8(bytes)) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }
  return FromWindows1252(bytes);
}

QString AnsiText::ForDisplay(std::string_view bytes) {
  QString text = Decode(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(QChar(u'\r'), QChar(u'\n'));
  return text;
}

std::string AnsiText::Encode(const QString& text) {
  return text.toUtf8().toStdString();
}

}  // namespace qz

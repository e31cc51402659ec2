#include "unzip/ArchivePassword.h"

#include <cstdint>
#include <optional>

namespace qz {
// On Windows the answer is in the ANSI code page already; only Linux converts from UTF-8.
#ifndef _WIN32
namespace {

// Windows-1252 bytes 0x80 to 0x9F; 0 marks the five bytes that have no character.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

std::optional<char> Windows1252(char32_t code) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) return static_cast<char>(code);
  for (unsigned i = 0; i < 32; ++i) {
    if (kHighControls[i] != 0 && kHighControls[i] == code) return static_cast<char>(0x80 + i);
  }
  return std::nullopt;
}

// The next code point of well-formed UTF-8 at `at`, which moves past it.
std::optional<char32_t> NextCodePoint(const std::string& text, size_t& at) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  int extra = lead < 0x80           ? 0
              : (lead >> 5) == 0x6  ? 1
              : (lead >> 4) == 0xE  ? 2
              : (lead >> 3) == 0x1E ? 3
                                    : -1;
  if (extra < 0 || text.size() - at <= static_cast<size_t>(extra)) return std::nullopt;
  char32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; ++i) {
    unsigned char next = byte(at + static_cast<size_t>(i));
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code = (code << 6) | (next & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
  if (code < kSmallest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return std::nullopt;
  }
  at += static_cast<size_t>(extra) + 1;
  return code;
}

}  // namespace
#endif

std::string ArchivePassword::FromAnswer(const std::string& answer) {
#ifdef _WIN32
  return answer;
#else
  std::string bytes;
  for (size_t at = 0; at < answer.size();) {
    std::optional<char32_t> code = NextCodePoint(answer, at);
    std::optional<char> converted = code ? Windows1252(*code) : std::nullopt;
    if (!converted) return answer;
    bytes += *converted;
  }
  return bytes;
#endif
}

}  // namespace qz

// Turns any text into a version number and checks the rule's promises: never NaN, a whole
// number, the sign of the text, and for up to 15 digits exactly the digits read with "."
// as "0" and blanks dropped.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "startup/VersionToNumber.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The digits the rule reads, and whether a "-" comes before them.
std::string ReadDigits(const std::string& text, bool& negative) {
  std::string kept;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\n') kept.push_back(c == '.' ? '0' : c);
  }
  size_t pos = 0;
  negative = !kept.empty() && kept[0] == '-';
  if (!kept.empty() && (kept[0] == '-' || kept[0] == '+')) pos = 1;
  size_t end = pos;
  while (end < kept.size() && kept[end] >= '0' && kept[end] <= '9') ++end;
  return kept.substr(pos, end - pos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const double number = qz::VersionToNumber(text);
  Check(!std::isnan(number));
  Check(!std::isfinite(number) || std::floor(number) == number);
  bool negative = false;
  std::string digits = ReadDigits(text, negative);
  Check(negative ? number <= 0 : number >= 0);
  digits.erase(0, digits.find_first_not_of('0'));
  if (digits.size() <= 15) {
    const double exact = digits.empty() ? 0 : std::strtod(digits.c_str(), nullptr);
    Check(number == (negative ? -exact : exact));
  }
  return 0;
}

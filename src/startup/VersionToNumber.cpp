#include "startup/VersionToNumber.h"

namespace qz {
namespace {

bool Ignored(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

}  // namespace

double VersionToNumber(const std::string& text) {
  std::string digits;
  digits.reserve(text.size());
  for (char c : text) {
    if (!Ignored(c)) digits.push_back(c == '.' ? '0' : c);
  }
  size_t pos = 0;
  bool negative = false;
  if (pos < digits.size() && (digits[pos] == '+' || digits[pos] == '-')) {
    negative = digits[pos] == '-';
    ++pos;
  }
  double value = 0;
  for (; pos < digits.size() && digits[pos] >= '0' && digits[pos] <= '9'; ++pos) {
    value = value * 10 + (digits[pos] - '0');
  }
  return negative ? -value : value;
}

}  // namespace qz

#include "platform/ByteRange.h"

#include <cctype>
#include <charconv>
#include <string_view>

namespace qz {
namespace {

bool ReadNumber(std::string_view& text, uint64_t& number) {
  auto [next, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || next == text.data()) return false;
  text.remove_prefix(static_cast<size_t>(next - text.data()));
  return true;
}

bool Skip(std::string_view& text, char expected) {
  if (text.empty() || text.front() != expected) return false;
  text.remove_prefix(1);
  return true;
}

void TrimSpaces(std::string_view& text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
}

// Drops the unit "bytes " (in any case) and the spaces around what follows; false without it.
bool SkipUnit(std::string_view& text) {
  TrimSpaces(text);
  static constexpr std::string_view kUnit = "bytes ";
  if (text.size() < kUnit.size()) return false;
  for (size_t i = 0; i < kUnit.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != kUnit[i]) return false;
  }
  text.remove_prefix(kUnit.size());
  TrimSpaces(text);
  return true;
}

}  // namespace

std::string ByteRange::RangeHeaderValue(const std::vector<ByteRange>& ranges) {
  std::string value = "bytes=";
  for (size_t i = 0; i < ranges.size(); ++i) {
    if (i > 0) value += ',';
    if (ranges[i].suffixLength != 0) {
      value += "-" + std::to_string(ranges[i].suffixLength);
    } else {
      value += std::to_string(ranges[i].first) + "-" + std::to_string(ranges[i].last);
    }
  }
  return value;
}

bool ByteRange::ParseContentRange(const std::string& value, ByteRange& range, int64_t& total) {
  std::string_view text(value);
  if (!SkipUnit(text)) return false;
  ByteRange read;
  if (!ReadNumber(text, read.first) || !Skip(text, '-') || !ReadNumber(text, read.last) ||
      !Skip(text, '/') || read.last < read.first) {
    return false;
  }
  int64_t length = -1;
  if (text == "*") {
    text.remove_prefix(1);
  } else {
    uint64_t number = 0;
    if (!ReadNumber(text, number) || number > static_cast<uint64_t>(INT64_MAX) ||
        read.last >= number) {
      return false;
    }
    length = static_cast<int64_t>(number);
  }
  if (!text.empty()) return false;
  range = read;
  total = length;
  return true;
}

int64_t ByteRange::UnsatisfiedLength(const std::string& value) {
  std::string_view text(value);
  uint64_t length = 0;
  if (!SkipUnit(text) || !Skip(text, '*') || !Skip(text, '/') || !ReadNumber(text, length) ||
      !text.empty() || length > static_cast<uint64_t>(INT64_MAX)) {
    return -1;
  }
  return static_cast<int64_t>(length);
}

}  // namespace qz

#include "platform/TemporaryFileName.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>
#include <string_view>

namespace qz {
namespace {

// Keeps a temporary name within the usual 255-byte limit whatever the target's name.
constexpr size_t kMaxNameStem = 200;
constexpr std::string_view kReplacementSuffix = ".qztmp";
constexpr std::string_view kExtractionPrefix = ".qzunzip-";
constexpr std::string_view kExtractionSuffix = ".tmp";
constexpr std::string_view kPrivateCopyPrefix = "qzupdate-";
// Process numbers fit in 32 bits on both systems.
constexpr size_t kMaxProcessDigits = 10;

bool IsAlphanumeric(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0;
  });
}

bool IsNumber(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// ".<stem>.<tag>.qztmp" with a non-empty stem and an alphanumeric tag.
bool IsReplacementName(std::string_view name) {
  if (name.size() <= kReplacementSuffix.size() + 1 || name.front() != '.' ||
      !name.ends_with(kReplacementSuffix)) {
    return false;
  }
  std::string_view inner = name.substr(1, name.size() - 1 - kReplacementSuffix.size());
  size_t dot = inner.rfind('.');
  return dot != std::string_view::npos && dot > 0 && IsAlphanumeric(inner.substr(dot + 1));
}

// ".qzunzip-<pid>-<n>.tmp"
bool IsExtractionName(std::string_view name) {
  if (!name.starts_with(kExtractionPrefix) || !name.ends_with(kExtractionSuffix)) return false;
  std::string_view inner = name.substr(
      kExtractionPrefix.size(), name.size() - kExtractionPrefix.size() - kExtractionSuffix.size());
  size_t dash = inner.find('-');
  return dash != std::string_view::npos && IsNumber(inner.substr(0, dash)) &&
         IsNumber(inner.substr(dash + 1));
}

}  // namespace

std::string TemporaryFileName::For(const std::string& name, const std::string& tag) {
  std::string result = ".";
  result.append(name, 0, kMaxNameStem);
  result.append(".").append(tag).append(kReplacementSuffix);
  return result;
}

bool TemporaryFileName::IsOurs(const std::string& name) {
  return IsReplacementName(name) || IsExtractionName(name);
}

std::string TemporaryFileName::PrivateCopyStem(unsigned long pid) {
  return std::string(kPrivateCopyPrefix) + std::to_string(pid) + "-";
}

unsigned long TemporaryFileName::PrivateCopyOwner(const std::string& name) {
  std::string_view view(name);
  if (!view.starts_with(kPrivateCopyPrefix)) return 0;
  view.remove_prefix(kPrivateCopyPrefix.size());
  size_t dash = view.find('-');
  if (dash == std::string_view::npos || dash > kMaxProcessDigits || dash + 1 == view.size() ||
      !IsNumber(view.substr(0, dash))) {
    return 0;
  }
  const std::string_view unique = view.substr(dash + 1);
  if (!std::all_of(unique.begin(), unique.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.';
      })) {
    return 0;
  }
  unsigned long long pid = 0;
  std::from_chars(view.data(), view.data() + dash, pid);
  return pid <= 0xFFFFFFFFull ? static_cast<unsigned long>(pid) : 0;
}

}  // namespace qz

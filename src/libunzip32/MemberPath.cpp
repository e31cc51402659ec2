#include "libunzip32/MemberPath.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace qz::unzip32 {
namespace {

std::vector<std::string> SplitParts(const std::string& name) {
  std::vector<std::string> parts(1);
  for (char c : name) {
    if (c == '/' || c == '\\') {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

bool IsDriveLetter(const std::string& part) {
  return part.size() >= 2 && std::isalpha(static_cast<unsigned char>(part[0])) && part[1] == ':';
}

bool IsNavigation(const std::string& part) {
  return part.empty() || part == "." || part == "..";
}

bool IsReservedDevice(const std::string& part) {
  std::string stem = part.substr(0, part.find('.'));
  for (char& c : stem) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL") return true;
  return stem.size() == 4 && (stem.rfind("COM", 0) == 0 || stem.rfind("LPT", 0) == 0) &&
         stem[3] >= '1' && stem[3] <= '9';
}

// The part as Windows can store it: characters that Windows forbids become "_", trailing
// dots and spaces (which Windows drops) go, and a device name ("CON", "nul.txt") gets a
// leading "_" so that it names a file. May become empty.
std::string Portable(std::string part) {
  for (char& c : part) {
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) c = '_';
  }
  while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
  return IsReservedDevice(part) ? "_" + part : part;
}

bool HasControlCharacter(const std::string& part) {
  return std::any_of(part.begin(), part.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) == 0x7f;
  });
}

#ifdef _WIN32
constexpr bool kWindowsNames = true;
#else
constexpr bool kWindowsNames = false;
#endif

// The part as this platform stores it: mapped on Windows; kept as stored elsewhere, where
// every byte but "/" and NUL is a valid name, except that control characters make it
// unusable (nullopt): they would hide in listings and messages.
std::optional<std::string> Stored(const std::string& part) {
  if constexpr (kWindowsNames) return Portable(part);
  if (HasControlCharacter(part)) return std::nullopt;
  return part;
}

// A drive prefix: on Windows any "X:" that starts the name, elsewhere only a whole first
// part "X:" (as in "C:\dir\file"), since "a:b" is a valid name there.
bool IsDrive(const std::vector<std::string>& parts) {
  const std::string& first = parts.front();
  if (!IsDriveLetter(first)) return false;
  return kWindowsNames || (first.size() == 2 && parts.size() > 1);
}

}  // namespace

MemberPath MemberPath::From(const std::string& name, bool honorDirectories,
                            bool spaceToUnderscore) {
  std::vector<std::string> parts = SplitParts(name);
  MemberPath path;
  if (IsDrive(parts)) {
    parts.front().erase(0, 2);
    path.changed = honorDirectories;
  }
  if (parts.size() > 1 && parts.front().empty()) path.changed = honorDirectories;
  if (spaceToUnderscore) {
    for (auto& part : parts) std::replace(part.begin(), part.end(), ' ', '_');
  }
  // The last part is the file; a name ending in a separator names no file.
  std::string file = parts.back();
  parts.pop_back();
  if (honorDirectories) {
    for (const auto& part : parts) {
      if (part == "..") path.changed = true;
      if (IsNavigation(part)) continue;
      std::optional<std::string> stored = Stored(part);
      // A folder that cannot be stored makes the whole member unusable.
      if (!stored) return MemberPath{};
      if (!stored->empty()) path.folders.push_back(*stored);
    }
  }
  if (!IsNavigation(file)) path.file = Stored(file).value_or("");
  return path;
}

std::string MemberPath::WindowsPart(const std::string& part) {
  return Portable(part);
}

std::string MemberPath::Joined() const {
  std::string joined;
  for (const auto& folder : folders) joined += folder + "/";
  return joined + file;
}

}  // namespace qz::unzip32

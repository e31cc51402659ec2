#include "libunzip32/MemberPath.h"

#include <algorithm>
#include <cctype>
#include <cstring>

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

// The part as every platform can store it, so that the same archive gives the same files
// everywhere: characters that Windows forbids become "_", trailing dots and spaces (which
// Windows drops) go, and a device name ("CON", "nul.txt") gets a leading "_" so that it
// names a file. May become empty.
std::string Portable(std::string part) {
  for (char& c : part) {
    if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) c = '_';
  }
  while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
  return IsReservedDevice(part) ? "_" + part : part;
}

}  // namespace

MemberPath MemberPath::From(const std::string& name, bool honorDirectories,
                            bool spaceToUnderscore) {
  std::vector<std::string> parts = SplitParts(name);
  MemberPath path;
  if (IsDriveLetter(parts.front())) {
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
      std::string portable = IsNavigation(part) ? "" : Portable(part);
      if (!portable.empty()) path.folders.push_back(portable);
    }
  }
  if (!IsNavigation(file)) path.file = Portable(file);
  return path;
}

std::string MemberPath::Joined() const {
  std::string joined;
  for (const auto& folder : folders) joined += folder + "/";
  return joined + file;
}

}  // namespace qz::unzip32

#include "libunzip32/MemberPath.h"

#include <algorithm>
#include <cctype>

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
      if (!IsNavigation(part)) path.folders.push_back(part);
    }
  }
  if (!IsNavigation(file)) path.file = file;
  return path;
}

std::string MemberPath::Joined() const {
  std::string joined;
  for (const auto& folder : folders) joined += folder + "/";
  return joined + file;
}

}  // namespace qz::unzip32

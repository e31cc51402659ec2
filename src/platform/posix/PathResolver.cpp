#include "platform/posix/PathResolver.h"

#include <dirent.h>
#include <sys/stat.h>

#include <optional>

namespace qz {
namespace {

bool SameIgnoringAsciiCase(const char* a, const std::string& b) {
  size_t i = 0;
  for (; a[i] != '\0' && i < b.size(); ++i) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return a[i] == '\0' && i == b.size();
}

// The entry of `folder` that `name` refers to, or nothing when none matches.
std::optional<std::string> FindEntry(const std::string& folder, const std::string& name) {
  struct stat info;
  std::string exact = folder + name;
  if (lstat(exact.c_str(), &info) == 0) return name;

  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* entry = readdir(dir)) {
    if (SameIgnoringAsciiCase(entry->d_name, name) && (!best || *best > entry->d_name)) {
      best = entry->d_name;
    }
  }
  closedir(dir);
  return best;
}

bool IsSpecial(const std::string& component) {
  return component.empty() || component == "." || component == "..";
}

}  // namespace

std::string PathResolver::Resolve(const std::string& path) {
  // `resolved` always ends with a separator (or is empty), so it is the folder to search.
  std::string resolved;
  bool searching = true;
  size_t start = 0;
  while (true) {
    size_t slash = path.find('/', start);
    std::string component = path.substr(start, slash == std::string::npos ? slash : slash - start);
    if (searching && !IsSpecial(component)) {
      if (auto found = FindEntry(resolved, component)) {
        component = *found;
      } else {
        searching = false;
      }
    }
    resolved += component;
    if (slash == std::string::npos) return resolved;
    resolved += '/';
    start = slash + 1;
  }
}

}  // namespace qz

#include "libunzip32/NameFilter.h"

#include <fnmatch.h>

namespace qz::unzip32 {

NameFilter::NameFilter(std::vector<std::string> include, std::vector<std::string> exclude,
                       bool ignoreCase)
    : include_(std::move(include)),
      used_(include_.size(), false),
      exclude_(std::move(exclude)),
      ignoreCase_(ignoreCase) {}

bool NameFilter::Selects(const std::string& name) {
  for (const auto& pattern : exclude_) {
    if (Matches(pattern, name)) return false;
  }
  if (include_.empty()) return true;
  bool selected = false;
  for (size_t i = 0; i < include_.size(); ++i) {
    if (Matches(include_[i], name)) selected = used_[i] = true;
  }
  return selected;
}

std::vector<std::string> NameFilter::Unmatched() const {
  std::vector<std::string> unmatched;
  for (size_t i = 0; i < include_.size(); ++i) {
    if (!used_[i]) unmatched.push_back(include_[i]);
  }
  return unmatched;
}

bool NameFilter::Matches(const std::string& pattern, const std::string& name) const {
  return fnmatch(pattern.c_str(), name.c_str(), ignoreCase_ ? FNM_CASEFOLD : 0) == 0;
}

}  // namespace qz::unzip32

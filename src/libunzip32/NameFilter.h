#pragma once

#include <string>
#include <vector>

namespace qz::unzip32 {

// The include and exclude lists of a run: wildcard patterns ('*', '?', '[...]') matched
// against whole stored member names. An empty include list selects every member.
class NameFilter {
 public:
  NameFilter(std::vector<std::string> include, std::vector<std::string> exclude, bool ignoreCase);

  // True when `name` is to be processed; notes which include patterns found a member.
  bool Selects(const std::string& name);
  // Include patterns that have matched no member so far.
  std::vector<std::string> Unmatched() const;

 private:
  bool Matches(const std::string& pattern, const std::string& name) const;

  std::vector<std::string> include_;
  std::vector<bool> used_;
  std::vector<std::string> exclude_;
  bool ignoreCase_;
};

}  // namespace qz::unzip32

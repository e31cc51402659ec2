#include "libunzip32/NameFilter.h"

#include <optional>

namespace qz::unzip32 {
namespace {

char Fold(char c, bool ignoreCase) {
  return ignoreCase && c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Matches `c` against the bracket expression at `pattern[at]` ("[" already consumed);
// gives the position after its "]", or none when the expression is not closed (then
// the "[" is an ordinary character).
std::optional<size_t> MatchBracket(const std::string& pattern, size_t at, char c, bool ignoreCase,
                                   bool* matched) {
  bool negated = at < pattern.size() && (pattern[at] == '!' || pattern[at] == '^');
  if (negated) ++at;
  bool found = false;
  for (bool first = true; at < pattern.size(); first = false) {
    if (pattern[at] == ']' && !first) {
      *matched = found != negated;
      return at + 1;
    }
    char low = pattern[at++];
    char high = low;
    if (at + 1 < pattern.size() && pattern[at] == '-' && pattern[at + 1] != ']') {
      high = pattern[at + 1];
      at += 2;
    }
    char folded = Fold(c, ignoreCase);
    found = found || (Fold(low, ignoreCase) <= folded && folded <= Fold(high, ignoreCase)) ||
            (low <= c && c <= high);
  }
  return std::nullopt;
}

// Shell wildcards over the whole name: "*" any run of characters (slashes included), "?"
// one character, "[...]" one of a set ("!" or "^" negates, "a-z" ranges), "\" quotes the
// next character. The same rules on every platform.
bool Wildcard(const std::string& pattern, const std::string& name, bool ignoreCase) {
  size_t p = 0;
  size_t n = 0;
  std::optional<std::pair<size_t, size_t>> retry;  // after the last "*": pattern, name
  while (n < name.size()) {
    bool advanced = false;
    if (p < pattern.size()) {
      char token = pattern[p];
      if (token == '*') {
        retry = std::make_pair(++p, n);
        continue;
      }
      if (token == '?') {
        advanced = true;
        ++p;
      } else if (token == '[') {
        bool matched = false;
        if (auto next = MatchBracket(pattern, p + 1, name[n], ignoreCase, &matched)) {
          advanced = matched;
          if (matched) p = *next;
        } else {
          advanced = name[n] == '[';
          if (advanced) ++p;
        }
      } else {
        if (token == '\\' && p + 1 < pattern.size()) token = pattern[++p];
        advanced = Fold(token, ignoreCase) == Fold(name[n], ignoreCase);
        if (advanced) ++p;
      }
    }
    if (advanced) {
      ++n;
    } else if (retry) {
      p = retry->first;
      n = ++retry->second;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

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
  return Wildcard(pattern, name, ignoreCase_);
}

}  // namespace qz::unzip32

#include "startup/InfoFile.h"

#include "platform/FileSystem.h"

namespace qz {
namespace {

bool IsLineEnd(char c) {
  return c == '\r' || c == '\n';
}

// Moves past the delimiter that ends an item: a comma, or a line end (CR LF, or a lone
// CR or LF, which files written by hand sometimes have).
void SkipDelimiter(const std::string& text, size_t& pos) {
  if (pos >= text.size()) return;
  if (text[pos] == ',') {
    ++pos;
  } else if (text[pos] == '\r') {
    ++pos;
    if (pos < text.size() && text[pos] == '\n') ++pos;
  } else if (text[pos] == '\n') {
    ++pos;
  }
}

// A quoted item runs to the next quote (an unclosed one to the end of the file); text
// after the closing quote up to the delimiter is dropped.
std::string ReadQuoted(const std::string& text, size_t& pos) {
  size_t close = text.find('"', pos + 1);
  if (close == std::string::npos) close = text.size();
  std::string item = text.substr(pos + 1, close - pos - 1);
  pos = close < text.size() ? close + 1 : close;
  while (pos < text.size() && text[pos] != ',' && !IsLineEnd(text[pos])) ++pos;
  return item;
}

// An unquoted item runs to the delimiter; spaces at its end are not part of it.
std::string ReadUnquoted(const std::string& text, size_t& pos) {
  size_t start = pos;
  while (pos < text.size() && text[pos] != ',' && !IsLineEnd(text[pos])) ++pos;
  size_t end = pos;
  while (end > start && text[end - 1] == ' ') --end;
  return text.substr(start, end - start);
}

}  // namespace

InfoFile::InfoFile(const std::string& content) {
  size_t pos = 0;
  while (pos < content.size()) {
    while (pos < content.size() && content[pos] == ' ') ++pos;
    bool quoted = pos < content.size() && content[pos] == '"';
    std::string item = quoted ? ReadQuoted(content, pos) : ReadUnquoted(content, pos);
    SkipDelimiter(content, pos);
    if (auto pair = SplitInfoItem(item)) items_.push_back(std::move(*pair));
  }
}

InfoFile InfoFile::Read(FileSystem& files, const std::string& path) {
  return InfoFile(files.ReadTextFile(path, kMaxSize));
}

std::optional<InfoFile::Item> InfoFile::SplitInfoItem(const std::string& item) {
  size_t equals = item.find('=');
  if (equals == std::string::npos) return std::nullopt;
  return Item{item.substr(0, equals), item.substr(equals + 1)};
}

std::optional<std::string> InfoFile::First(const std::string& key) const {
  for (const auto& [itemKey, value] : items_) {
    if (itemKey == key) return value;
  }
  return std::nullopt;
}

std::optional<std::string> InfoFile::Last(const std::string& key) const {
  for (auto it = items_.rbegin(); it != items_.rend(); ++it) {
    if (it->first == key) return it->second;
  }
  return std::nullopt;
}

}  // namespace qz

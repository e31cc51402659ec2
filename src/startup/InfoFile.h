#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qz {

class FileSystem;

// The items of an ".INF" information file: 8-bit text of key=value items, one a line.
// An item ends at a comma or a line end; spaces before it are skipped; an item that
// starts with a double quote runs to the next double quote, so commas and "=" belong to
// it. Items without "=" are ignored. Keys are case-sensitive and never trimmed.
class InfoFile {
 public:
  using Item = std::pair<std::string, std::string>;

  // Information files are a few lines; anything larger is not one (an error page, a
  // hostile server) and is refused before it is read or downloaded whole.
  static constexpr size_t kMaxSize = size_t{1} << 20;

  explicit InfoFile(const std::string& content);

  // Reads the file at `path`; a file of more than kMaxSize bytes fails with 7.
  static InfoFile Read(FileSystem& files, const std::string& path);

  // Key and value of one item: text before the first "=" and all text after it.
  static std::optional<Item> SplitInfoItem(const std::string& item);

  // The value of the first or the last item with exactly this key.
  std::optional<std::string> First(const std::string& key) const;
  std::optional<std::string> Last(const std::string& key) const;

  const std::vector<Item>& Items() const { return items_; }

 private:
  std::vector<Item> items_;
};

}  // namespace qz

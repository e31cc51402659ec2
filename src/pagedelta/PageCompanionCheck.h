#pragma once

#include <string>

namespace qz {

class FileSystem;

// Compares a page companion with the database file it was written for, as `check` reports it.
class PageCompanionCheck {
 public:
  // Reads both files whole; returns how the chunks line up (count, size, header and deflated
  // bytes) when every chunk inflates to the file's bytes at its place. Throws qz::Error
  // naming the first thing that differs.
  static std::string Compare(FileSystem& files, const std::string& companionPath,
                             const std::string& filePath);
};

}  // namespace qz

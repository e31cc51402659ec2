#pragma once

#include <string>
#include <string_view>

#include "zipformat/ZipMember.h"

namespace qz {

// Builds a zip from entries copied byte for byte out of another archive, with a new
// central directory that lists them where they now lie.
class DeltaArchive {
 public:
  // Appends `entry` (the member's local header, data and any data descriptor).
  void Add(const ZipMember& member, std::string_view entry);
  // The whole archive: the entries, their directory and the end record, preceded by the
  // zip64 end record and locator when there are more entries than the plain record holds.
  std::string Finish();

 private:
  std::string bytes_;
  std::string directory_;
  uint64_t entries_ = 0;
};

}  // namespace qz

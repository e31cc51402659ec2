#pragma once

#include <filesystem>
#include <vector>

#include "releasetool/BuildFolder.h"

namespace qz {

// Writes an update archive that depends on the members' names and bytes only: members in
// the given order, one fixed time stamp, no extra fields or comments, Unix attributes 0644
// or 0755 as PackMember::executable says, each deflated at the best level.
class ReproducibleZip {
 public:
  // Writes `members` into a new archive at `target` (replacing a file there); throws
  // qz::Error naming the file that could not be read or written.
  static void Write(const std::filesystem::path& target, const std::vector<PackMember>& members);
};

}  // namespace qz

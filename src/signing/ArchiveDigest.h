#pragma once

#include <cstdint>
#include <string_view>

#include "signing/SignedArchive.h"

namespace qz {

// What the vendor signs about VQ.Zip so that an updater can check it member by member.
class ArchiveDigest {
 public:
  // Larger archives are signed as a whole only: the archive is read into memory.
  static constexpr uint64_t kMaxArchiveBytes = uint64_t{1} << 30;

  // The directory item and one member item per file member, in directory order, of the
  // zip `bytes` (signatures left empty). Throws qz::Error saying why when the zip cannot
  // be read, or holds a member that an updater cannot check (encrypted, neither stored nor
  // deflated, or whose data do not give its size).
  static SignedArchive Of(std::string_view bytes);
};

}  // namespace qz

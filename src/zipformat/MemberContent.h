#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "zipformat/ZipMember.h"

namespace qz {

// The uncompressed bytes of one member, taken from its entry as the archive stores it.
class MemberContent {
 public:
  // `entry` starts at the member's local header and holds at least its data. Throws
  // qz::Error saying why when the local header is not the member's, the member is
  // encrypted, neither stored nor deflated, larger than `maxSize` uncompressed, or when its
  // data do not give exactly its uncompressed size.
  static std::string Inflate(std::string_view entry, const ZipMember& member, uint64_t maxSize);

  // The SHA-256 (lowercase hex) of what Inflate gives.
  static std::string Sha256Of(std::string_view entry, const ZipMember& member, uint64_t maxSize);
};

}  // namespace qz

#pragma once

#include <cstdint>

namespace qz {

// The bounds on a zip of changed members that is built and checked in memory.
struct HeldArchive {
  // The changed members' entries held until they are written; more comes whole.
  static constexpr uint64_t kMaxEntryBytes = uint64_t{256} << 20;
  // The entries with their directory and end record.
  static constexpr uint64_t kMaxBytes = kMaxEntryBytes + (uint64_t{64} << 20);
};

}  // namespace qz

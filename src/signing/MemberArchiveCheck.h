#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "signing/SignedArchive.h"
#include "zipformat/HeldArchive.h"

namespace qz {

class FileSystem;

// Checks a staged archive of changed members (as a delta download writes it) against the
// vendor's signed member items, strictly enough that what passes installs only signed
// bytes under signed names, and leaves what the whole archive would leave.
class MemberArchiveCheck {
 public:
  // The changed members a download holds in memory, their directory and end record.
  static constexpr uint64_t kMaxBytes = HeldArchive::kMaxBytes;

  // Throws qz::Error(StreamedFileCheck::kHashMismatch) saying why unless `zip` is entries
  // back to back from its first byte, then their directory, then the end record without a
  // comment; every entry unencrypted, stored or deflated, its local header agreeing with
  // its directory record, and its data giving the size and SHA-256 of a member item of its
  // installed name. Of entries that share a name, the last must be the last item's.
  static void Verify(std::string_view zip, const SignedArchive& archive);

  // Verifies the file at `path`; one larger than kMaxBytes is refused unread.
  static void VerifyFile(FileSystem& files, const std::string& path, const SignedArchive& archive);
};

}  // namespace qz

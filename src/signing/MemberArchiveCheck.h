#pragma once

#include <cstdint>
#include <set>
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
  // installed name. Of entries whose names meet without regard to case, the last must be
  // the last such item's. Returns the installed names it carries, folded to lower case.
  static std::set<std::string> Verify(std::string_view zip, const SignedArchive& archive);

  // Verifies the file at `path` (one larger than kMaxBytes is refused unread), and that
  // every signed member it does not carry is installed in `installFolder` (matched without
  // regard to case) with the size and SHA-256 of the last item of its name: an archive of
  // some members installs only over files that already hold the others.
  static void VerifyFile(FileSystem& files, const std::string& path, const SignedArchive& archive,
                         const std::string& installFolder);

  // ASCII letters in lower case, as the extraction library matches installed names.
  static std::string Folded(const std::string& name);
};

}  // namespace qz

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "zipformat/ArchiveListing.h"

namespace qz {

// The items that let an updater check VQ.Zip member by member instead of whole:
//   ArchiveDirectory=<offset> <length> <sha256>     the central directory to the file's end
//   ArchiveMember=<size> <sha256> <encoded name>    one per file member, in directory order
//   MemberSignature=<Ed25519 signature of SignedRelease::MemberText(), base64>
// Names are percent-encoded for "%", '"', ",", bytes below 0x21 and from 0x7F, so that
// they survive the item reader; the name comes last.
struct SignedArchive : ArchiveListing {
  // The items of `content`, or nothing when it carries no MemberSignature (then the other
  // two kinds are not looked at). Throws qz::Error(SignedRelease::kMalformed) when a
  // MemberSignature is present and an item is missing, repeated or badly formed.
  static std::optional<SignedArchive> FromVersionInfo(const std::string& content);

  // The lines that MemberText() signs, each ended by LF: ArchiveDirectory, then ArchiveMember.
  std::string SignedLines() const;

  // The items as Version.INF lines (quoted, CR LF), signatures last.
  std::string Items() const;

  static std::string EncodeName(const std::string& name);
  // Nothing when `text` is not exactly what EncodeName gives for some name.
  static std::optional<std::string> DecodeName(const std::string& text);

  std::vector<std::string> signatures;
};

}  // namespace qz

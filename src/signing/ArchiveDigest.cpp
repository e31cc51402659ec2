#include "signing/ArchiveDigest.h"

#include <algorithm>

#include "delta/CentralDirectory.h"
#include "delta/InstalledFiles.h"
#include "delta/MemberContent.h"
#include "signing/Sha256.h"

namespace qz {

SignedArchive ArchiveDigest::Of(std::string_view bytes) {
  const uint64_t tailOffset =
      bytes.size() - std::min<uint64_t>(bytes.size(), CentralDirectory::kTailBytes);
  const CentralDirectory::Location location = CentralDirectory::Locate(
      bytes.substr(static_cast<size_t>(tailOffset)), tailOffset, bytes.size());
  const std::string_view fromDirectory = bytes.substr(static_cast<size_t>(location.offset));
  SignedArchive archive;
  archive.directoryOffset = location.offset;
  archive.directoryLength = fromDirectory.size();
  Sha256 hash;
  hash.Add(fromDirectory.data(), fromDirectory.size());
  archive.directorySha256 = hash.Hex();
  for (const ZipMember& member : CentralDirectory::Members(
           fromDirectory.substr(0, static_cast<size_t>(location.size)), location)) {
    // The name the install writes it under; folder entries write nothing.
    const std::string name = InstalledFiles::TargetName(member.name);
    if (name.empty()) continue;
    const std::string_view entry = bytes.substr(static_cast<size_t>(member.localHeaderOffset));
    CentralDirectory::EntryLength(entry, member);
    const std::string content = MemberContent::Inflate(entry, member, kMaxArchiveBytes);
    Sha256 memberHash;
    memberHash.Add(content.data(), content.size());
    archive.members.push_back({content.size(), memberHash.Hex(), name});
  }
  return archive;
}

}  // namespace qz

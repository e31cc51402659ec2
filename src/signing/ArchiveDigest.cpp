#include "signing/ArchiveDigest.h"

#include "zipformat/CentralDirectory.h"
#include "zipformat/InstalledFiles.h"
#include "zipformat/MemberContent.h"
#include "zipformat/Sha256.h"

namespace qz {

SignedArchive ArchiveDigest::Of(std::string_view bytes) {
  const CentralDirectory::Location location = CentralDirectory::LocateInArchive(bytes);
  const std::string_view fromDirectory = bytes.substr(static_cast<size_t>(location.offset));
  SignedArchive archive;
  archive.directoryOffset = location.offset;
  archive.directoryLength = fromDirectory.size();
  archive.directorySha256 = Sha256::HexOf(fromDirectory);
  for (const ZipMember& member : CentralDirectory::Members(
           fromDirectory.substr(0, static_cast<size_t>(location.size)), location)) {
    // The name the install writes it under; folder entries write nothing.
    const std::string name = InstalledFiles::TargetName(member.name);
    if (name.empty()) continue;
    const std::string_view entry = bytes.substr(static_cast<size_t>(member.localHeaderOffset));
    CentralDirectory::EntryLength(entry, member);
    const std::string content = MemberContent::Inflate(entry, member, kMaxArchiveBytes);
    archive.members.push_back({content.size(), Sha256::HexOf(content), name});
  }
  return archive;
}

}  // namespace qz

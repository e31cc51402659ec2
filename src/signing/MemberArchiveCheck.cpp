#include "signing/MemberArchiveCheck.h"

#include <map>
#include <new>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "signing/StreamedFileCheck.h"
#include "zipformat/CentralDirectory.h"
#include "zipformat/InstalledFiles.h"
#include "zipformat/MemberContent.h"
#include "zipformat/Sha256.h"
#include "zipformat/ZipBytes.h"

namespace qz {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr size_t kEndBytes = 22;

[[noreturn]] void Refuse(const std::string& why) {
  throw Error(StreamedFileCheck::kHashMismatch,
              "VQ.Zip is neither the archive its vendor signed nor a part of it: " + why + ".");
}

// The local header's flags, method, CRC-32 and sizes are those of the directory record;
// with a data descriptor the header may leave CRC-32 and sizes zero.
void CheckLocalHeader(std::string_view entry, const ZipMember& member) {
  const std::string_view record = member.record;
  bool same = ZipBytes::U16(entry, 6) == member.flags && ZipBytes::U16(entry, 8) == member.method;
  for (size_t field = 0; field < 3; ++field) {
    const uint32_t local = ZipBytes::U32(entry, 14 + 4 * field);
    const uint32_t central = ZipBytes::U32(record, 16 + 4 * field);
    same = same && (local == central || (member.HasDataDescriptor() && local == 0));
  }
  if (!same) Refuse(member.name + ": its local header disagrees with its directory record");
}

const ArchiveMemberItem* Matching(const SignedArchive& archive, const std::string& name,
                                  uint64_t size, const std::string& sha256) {
  for (const ArchiveMemberItem& item : archive.members) {
    if (item.name == name && item.size == size && item.sha256 == sha256) return &item;
  }
  return nullptr;
}

// The item whose bytes stay under `folded` once every member has been written.
const ArchiveMemberItem* LastOfName(const SignedArchive& archive, const std::string& folded) {
  const ArchiveMemberItem* last = nullptr;
  for (const ArchiveMemberItem& item : archive.members) {
    if (MemberArchiveCheck::Folded(item.name) == folded) last = &item;
  }
  return last;
}

// True when `path` has `item`'s size and SHA-256; a file that cannot be read has not.
bool Holds(FileSystem& files, const std::string& path, const ArchiveMemberItem& item) {
  try {
    if (files.FileSize(path) != item.size) return false;
    Sha256 hash;
    files.ReadInPieces(path, [&](const char* data, size_t size) { hash.Add(data, size); });
    return hash.Hex() == item.sha256;
  } catch (const Error&) {
    return false;
  }
}

// The signed members that `carried` lacks must be installed as signed already, or the
// archive would leave them at an older version while the install reports success.
void VerifyInstalled(FileSystem& files, const std::string& folder, const SignedArchive& archive,
                     const std::set<std::string>& carried) {
  std::map<std::string, std::string> installed;
  try {
    for (const std::string& name : files.FileNamesIn(folder)) {
      installed.emplace(MemberArchiveCheck::Folded(name), name);
    }
  } catch (const Error& error) {
    Refuse("the installed files cannot be listed (" + error.Description() + ")");
  }
  std::set<std::string> checked;
  for (const ArchiveMemberItem& item : archive.members) {
    const std::string folded = MemberArchiveCheck::Folded(item.name);
    if (carried.count(folded) != 0 || !checked.insert(folded).second) continue;
    const auto found = installed.find(folded);
    if (found == installed.end() ||
        !Holds(files, folder + "/" + found->second, *LastOfName(archive, folded))) {
      Refuse(item.name +
             ": it is not in the archive, and the installed file is not the signed one");
    }
  }
}

}  // namespace

std::string MemberArchiveCheck::Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  return folded;
}

std::set<std::string> MemberArchiveCheck::Verify(std::string_view zip,
                                                 const SignedArchive& archive) {
  try {
    if (zip.size() < kEndBytes || ZipBytes::U32(zip, zip.size() - kEndBytes) != kEndSignature ||
        ZipBytes::U16(zip, zip.size() - 2) != 0) {
      Refuse("it does not end with an end record");
    }
    const CentralDirectory::Location location = CentralDirectory::LocateInArchive(zip);
    if (location.offset + location.size != location.end) {
      Refuse("something lies between its directory and its end record");
    }
    std::map<std::string, const ArchiveMemberItem*> lastEntry;
    uint64_t at = 0;
    for (const ZipMember& member : CentralDirectory::Members(
             zip.substr(static_cast<size_t>(location.offset), static_cast<size_t>(location.size)),
             location)) {
      if (member.localHeaderOffset != at) Refuse(member.name + ": its entry is out of place");
      const std::string_view entry =
          zip.substr(static_cast<size_t>(at), static_cast<size_t>(location.offset - at));
      const uint64_t length = CentralDirectory::EntryLength(entry, member);
      CheckLocalHeader(entry, member);
      const std::string name = InstalledFiles::TargetName(member.name);
      const std::string content = MemberContent::Inflate(entry, member, kMaxBytes);
      const ArchiveMemberItem* item =
          Matching(archive, name, content.size(), Sha256::HexOf(content));
      if (item == nullptr) Refuse(member.name + ": it is not a member its vendor signed");
      lastEntry[Folded(name)] = item;
      at += length;
    }
    if (at != location.offset) Refuse("something lies between its entries and its directory");
    // Of members written under one name the last stays, as from the whole archive.
    std::set<std::string> carried;
    for (const auto& [folded, item] : lastEntry) {
      const ArchiveMemberItem* last = LastOfName(archive, folded);
      if (item->size != last->size || item->sha256 != last->sha256) {
        Refuse(item->name + ": it is not the last member of its name");
      }
      carried.insert(folded);
    }
    return carried;
  } catch (const Error& error) {
    if (error.Number() == StreamedFileCheck::kHashMismatch) throw;
    Refuse(error.Description());
  } catch (const std::bad_alloc&) {
    Refuse("there is not enough memory to check it");
  }
}

void MemberArchiveCheck::VerifyFile(FileSystem& files, const std::string& path,
                                    const SignedArchive& archive,
                                    const std::string& installFolder) {
  std::string zip;
  try {
    zip = files.ReadTextFile(path, static_cast<size_t>(kMaxBytes));
  } catch (const Error& error) {
    Refuse("it cannot be read whole (" + error.Description() + ")");
  } catch (const std::bad_alloc&) {
    Refuse("there is not enough memory to read it");
  }
  const std::set<std::string> carried = Verify(zip, archive);
  VerifyInstalled(files, installFolder, archive, carried);
}

}  // namespace qz

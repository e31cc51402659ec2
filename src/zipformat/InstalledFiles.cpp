#include "zipformat/InstalledFiles.h"

#include <libdeflate.h>

#include <exception>

#include "libunzip32/MemberPath.h"
#include "platform/FileSystem.h"
#include "zipformat/Sha256.h"

namespace qz {

InstalledFiles::InstalledFiles(FileSystem& files, std::string folder)
    : files_(files), folder_(std::move(folder)) {
  for (const std::string& name : files_.FileNamesIn(folder_)) names_.emplace(Folded(name), name);
}

std::string InstalledFiles::TargetName(const std::string& memberName) {
  // The install extracts with folders dropped and spaces kept.
  return unzip32::MemberPath::From(memberName, false, false).file;
}

bool InstalledFiles::Holds(const ZipMember& member, const std::string& sha256) {
  const std::string target = TargetName(member.name);
  if (target.empty()) return false;
  auto found = names_.find(Folded(target));
  if (found == names_.end()) return false;
  const std::string path = folder_ + "/" + found->second;
  try {
    if (files_.FileSize(path) != member.uncompressedSize) return false;
    uint32_t crc = 0;
    Sha256 hash;
    files_.ReadInPieces(path, [&](const char* data, size_t size) {
      crc = libdeflate_crc32(crc, data, size);
      if (!sha256.empty()) hash.Add(data, size);
    });
    return crc == member.crc32 && (sha256.empty() || hash.Hex() == sha256);
  } catch (const std::exception&) {
    return false;
  }
}

std::string InstalledFiles::Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace qz

#include "delta/DeltaArchive.h"

#include "delta/ZipBytes.h"
#include "platform/Error.h"

namespace qz {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint64_t kMax32 = 0xFFFFFFFE;
constexpr uint64_t kMaxEntries = 0xFFFE;

[[noreturn]] void Refuse(const std::string& what) {
  throw Error(Error::kInternalError, what, "DeltaArchive");
}

}  // namespace

void DeltaArchive::Add(const ZipMember& member, std::string_view entry) {
  const uint64_t offset = bytes_.size();
  std::string record = member.record;
  if (member.zip64Offset) {
    ZipBytes::Put64(record, member.offsetField, offset);
  } else if (offset <= kMax32) {
    ZipBytes::Put32(record, member.offsetField, static_cast<uint32_t>(offset));
  } else {
    Refuse("the changed members need a zip64 archive");
  }
  bytes_.append(entry);
  directory_ += record;
  ++entries_;
}

std::string DeltaArchive::Finish() {
  if (entries_ > kMaxEntries || bytes_.size() > kMax32 || directory_.size() > kMax32) {
    Refuse("the changed members need a zip64 archive");
  }
  const uint64_t directoryOffset = bytes_.size();
  std::string archive = std::move(bytes_);
  archive += directory_;
  ZipBytes::Append32(archive, kEndSignature);
  ZipBytes::Append16(archive, 0);
  ZipBytes::Append16(archive, 0);
  ZipBytes::Append16(archive, static_cast<uint16_t>(entries_));
  ZipBytes::Append16(archive, static_cast<uint16_t>(entries_));
  ZipBytes::Append32(archive, static_cast<uint32_t>(directory_.size()));
  ZipBytes::Append32(archive, static_cast<uint32_t>(directoryOffset));
  ZipBytes::Append16(archive, 0);
  return archive;
}

}  // namespace qz

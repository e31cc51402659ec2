#include "delta/DeltaArchive.h"

#include "platform/Error.h"
#include "zipformat/ZipBytes.h"

namespace qz {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint64_t kZip64EndRecordSize = 44;  // after its signature and this size field
constexpr uint16_t kZip64Version = 45;
constexpr uint64_t kMax32 = 0xFFFFFFFE;
constexpr uint64_t kMaxEntries = 0xFFFE;

// The zip64 end record and its locator, for counts and offsets the plain record cannot hold.
void AppendZip64End(std::string& archive, uint64_t entries, uint64_t directorySize,
                    uint64_t directoryOffset) {
  const uint64_t endOffset = archive.size();
  ZipBytes::Append32(archive, kZip64EndSignature);
  ZipBytes::Append64(archive, kZip64EndRecordSize);
  ZipBytes::Append16(archive, kZip64Version);
  ZipBytes::Append16(archive, kZip64Version);
  ZipBytes::Append32(archive, 0);
  ZipBytes::Append32(archive, 0);
  ZipBytes::Append64(archive, entries);
  ZipBytes::Append64(archive, entries);
  ZipBytes::Append64(archive, directorySize);
  ZipBytes::Append64(archive, directoryOffset);
  ZipBytes::Append32(archive, kZip64LocatorSignature);
  ZipBytes::Append32(archive, 0);
  ZipBytes::Append64(archive, endOffset);
  ZipBytes::Append32(archive, 1);
}

uint16_t Field16(uint64_t value) {
  return value > kMaxEntries ? 0xFFFF : static_cast<uint16_t>(value);
}

uint32_t Field32(uint64_t value) {
  return value > kMax32 ? 0xFFFFFFFF : static_cast<uint32_t>(value);
}

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
    // The record has no zip64 offset field to move the offset into.
    Refuse("a changed member lies beyond 4 GiB and its record has no room for that");
  }
  bytes_.append(entry);
  directory_ += record;
  ++entries_;
}

std::string DeltaArchive::Finish() {
  const uint64_t directoryOffset = bytes_.size();
  const uint64_t directorySize = directory_.size();
  std::string archive = std::move(bytes_);
  archive += directory_;
  const bool zip64 = entries_ > kMaxEntries || directoryOffset > kMax32 || directorySize > kMax32;
  if (zip64) AppendZip64End(archive, entries_, directorySize, directoryOffset);
  ZipBytes::Append32(archive, kEndSignature);
  ZipBytes::Append16(archive, 0);
  ZipBytes::Append16(archive, 0);
  ZipBytes::Append16(archive, Field16(entries_));
  ZipBytes::Append16(archive, Field16(entries_));
  ZipBytes::Append32(archive, Field32(directorySize));
  ZipBytes::Append32(archive, Field32(directoryOffset));
  ZipBytes::Append16(archive, 0);
  return archive;
}

}  // namespace qz

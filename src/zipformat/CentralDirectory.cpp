#include "zipformat/CentralDirectory.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/Error.h"
#include "zipformat/ZipBytes.h"

namespace qz {
namespace {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr size_t kEndBytes = 22;
constexpr size_t kLocatorBytes = 20;
constexpr size_t kCentralBytes = 46;
constexpr size_t kLocalBytes = 30;
constexpr uint16_t kZip64ExtraId = 0x0001;
constexpr uint32_t kMask32 = 0xFFFFFFFF;
constexpr uint16_t kMask16 = 0xFFFF;

[[noreturn]] void Refuse(const std::string& what) {
  throw Error(Error::kInternalError, what, "CentralDirectory");
}

// The last end record whose comment runs exactly to the end of `tail`.
size_t FindEndRecord(std::string_view tail) {
  if (tail.size() < kEndBytes) Refuse("the archive is too short for a zip");
  for (size_t at = tail.size() - kEndBytes + 1; at-- > 0;) {
    if (ZipBytes::U32(tail, at) == kEndSignature &&
        at + kEndBytes + ZipBytes::U16(tail, at + 20) == tail.size()) {
      return at;
    }
  }
  Refuse("no end of central directory record");
}

void ReadZip64End(std::string_view tail, uint64_t tailOffset, size_t endAt,
                  CentralDirectory::Location& location) {
  if (endAt < kLocatorBytes ||
      ZipBytes::U32(tail, endAt - kLocatorBytes) != kZip64LocatorSignature) {
    Refuse("a zip64 archive without its locator");
  }
  const uint64_t recordOffset = ZipBytes::U64(tail, endAt - kLocatorBytes + 8);
  if (ZipBytes::U32(tail, endAt - kLocatorBytes + 16) > 1) Refuse("an archive of several disks");
  if (recordOffset < tailOffset) Refuse("the zip64 end record lies before the archive's tail");
  const size_t at = static_cast<size_t>(recordOffset - tailOffset);
  if (ZipBytes::U32(tail, at) != kZip64EndSignature) Refuse("no zip64 end record where located");
  if (ZipBytes::U32(tail, at + 16) != 0 || ZipBytes::U32(tail, at + 20) != 0) {
    Refuse("an archive of several disks");
  }
  location.entries = ZipBytes::U64(tail, at + 32);
  location.size = ZipBytes::U64(tail, at + 40);
  location.offset = ZipBytes::U64(tail, at + 48);
  location.end = recordOffset;
}

// The zip64 extra field's values for the record fields that say 0xFFFFFFFF, in order.
struct Zip64Values {
  std::optional<uint64_t> uncompressed, compressed, offset;
  size_t offsetField = 0;
};

Zip64Values ReadZip64Extra(std::string_view record, size_t extraAt, size_t extraLength,
                           bool uncompressed, bool compressed, bool offset) {
  Zip64Values values;
  size_t at = extraAt;
  const size_t end = extraAt + extraLength;
  while (at + 4 <= end) {
    const uint16_t id = ZipBytes::U16(record, at);
    const size_t length = ZipBytes::U16(record, at + 2);
    if (at + 4 + length > end) break;
    if (id == kZip64ExtraId) {
      size_t field = at + 4;
      const size_t fieldEnd = field + length;
      auto take = [&](bool wanted, std::optional<uint64_t>& value) {
        if (!wanted) return;
        if (field + 8 > fieldEnd) Refuse("a zip64 extra field too short for its sizes");
        value = ZipBytes::U64(record, field);
        field += 8;
      };
      take(uncompressed, values.uncompressed);
      take(compressed, values.compressed);
      values.offsetField = field;
      take(offset, values.offset);
      return values;
    }
    at += 4 + length;
  }
  if (uncompressed || compressed || offset) Refuse("a zip64 member without its extra field");
  return values;
}

ZipMember ReadRecord(std::string_view bytes, size_t at) {
  if (ZipBytes::U32(bytes, at) != kCentralSignature) Refuse("a broken central directory record");
  const size_t nameLength = ZipBytes::U16(bytes, at + 28);
  const size_t extraLength = ZipBytes::U16(bytes, at + 30);
  const size_t commentLength = ZipBytes::U16(bytes, at + 32);
  const size_t length = kCentralBytes + nameLength + extraLength + commentLength;
  if (bytes.size() - at < length) Refuse("a central directory record runs past the directory");
  ZipMember member;
  member.record = std::string(bytes.substr(at, length));
  const std::string_view record = member.record;
  member.madeBy = ZipBytes::U16(record, 4);
  member.flags = ZipBytes::U16(record, 8);
  member.method = ZipBytes::U16(record, 10);
  member.crc32 = ZipBytes::U32(record, 16);
  member.compressedSize = ZipBytes::U32(record, 20);
  member.uncompressedSize = ZipBytes::U32(record, 24);
  if (ZipBytes::U16(record, 34) != 0 && ZipBytes::U16(record, 34) != kMask16) {
    Refuse("a member on another disk");
  }
  member.externalAttributes = ZipBytes::U32(record, 38);
  member.localHeaderOffset = ZipBytes::U32(record, 42);
  member.offsetField = 42;
  member.name = std::string(record.substr(kCentralBytes, nameLength));
  Zip64Values wide = ReadZip64Extra(
      record, kCentralBytes + nameLength, extraLength, member.uncompressedSize == kMask32,
      member.compressedSize == kMask32, member.localHeaderOffset == kMask32);
  if (wide.uncompressed) member.uncompressedSize = *wide.uncompressed;
  if (wide.compressed) member.compressedSize = *wide.compressed;
  if (wide.offset) {
    member.localHeaderOffset = *wide.offset;
    member.offsetField = wide.offsetField;
    member.zip64Offset = true;
  }
  return member;
}

}  // namespace

CentralDirectory::Location CentralDirectory::LocateInArchive(std::string_view archive) {
  const uint64_t tailOffset = archive.size() - std::min<uint64_t>(archive.size(), kTailBytes);
  return Locate(archive.substr(static_cast<size_t>(tailOffset)), tailOffset, archive.size());
}

CentralDirectory::Location CentralDirectory::Locate(std::string_view tail, uint64_t tailOffset,
                                                    uint64_t fileLength) {
  if (tailOffset + tail.size() != fileLength) Refuse("the tail does not end the archive");
  const size_t endAt = FindEndRecord(tail);
  if (ZipBytes::U16(tail, endAt + 4) != 0 || ZipBytes::U16(tail, endAt + 6) != 0) {
    Refuse("an archive of several disks");
  }
  Location location;
  location.entries = ZipBytes::U16(tail, endAt + 10);
  location.size = ZipBytes::U32(tail, endAt + 12);
  location.offset = ZipBytes::U32(tail, endAt + 16);
  location.end = tailOffset + endAt;
  const bool locator = endAt >= kLocatorBytes &&
                       ZipBytes::U32(tail, endAt - kLocatorBytes) == kZip64LocatorSignature;
  // Exactly 65,535 members (or a directory at 4 GiB - 1) fit the plain record: a field
  // at its largest value means zip64 only when the locator says so.
  const bool wide =
      location.entries == kMask16 || location.size == kMask32 || location.offset == kMask32;
  if (locator || (wide && location.offset > location.end)) {
    ReadZip64End(tail, tailOffset, endAt, location);
  }
  if (location.offset > location.end || location.size > location.end - location.offset) {
    Refuse("the central directory lies outside the archive");
  }
  return location;
}

std::vector<ZipMember> CentralDirectory::Members(std::string_view bytes, const Location& location) {
  if (bytes.size() != location.size) Refuse("the central directory is not whole");
  std::vector<ZipMember> members;
  size_t at = 0;
  while (at < bytes.size()) {
    if (members.size() == location.entries) Refuse("more members than the directory counts");
    members.push_back(ReadRecord(bytes, at));
    at += members.back().record.size();
    const ZipMember& member = members.back();
    if (member.localHeaderOffset >= location.offset ||
        member.compressedSize > location.offset - member.localHeaderOffset) {
      Refuse(member.name + ": its data lies outside the archive");
    }
  }
  if (members.size() != location.entries) Refuse("fewer members than the directory counts");
  return members;
}

uint64_t CentralDirectory::DataOffset(std::string_view bytes, const ZipMember& member) {
  if (ZipBytes::U32(bytes, 0) != kLocalSignature) Refuse(member.name + ": no local header");
  const size_t nameLength = ZipBytes::U16(bytes, 26);
  const size_t extraLength = ZipBytes::U16(bytes, 28);
  if (bytes.substr(kLocalBytes, nameLength) != member.name) {
    Refuse(member.name + ": the local header names another member");
  }
  return kLocalBytes + nameLength + extraLength;
}

uint64_t CentralDirectory::EntryLength(std::string_view bytes, const ZipMember& member) {
  const uint64_t dataEnd = DataOffset(bytes, member) + member.compressedSize;
  if (dataEnd > bytes.size()) Refuse(member.name + ": the data runs past what was fetched");
  if (!member.HasDataDescriptor()) return dataEnd;
  const std::string_view descriptor = bytes.substr(static_cast<size_t>(dataEnd));
  const size_t signature =
      descriptor.size() >= 4 && ZipBytes::U32(descriptor, 0) == kDescriptorSignature ? 4 : 0;
  if (ZipBytes::U32(descriptor, signature) != member.crc32) {
    Refuse(member.name + ": its data descriptor does not match the directory");
  }
  // Sizes are 4 bytes each, or 8 in a zip64 entry; the one whose values match is it.
  for (size_t width : {size_t{4}, size_t{8}}) {
    const size_t at = signature + 4;
    if (descriptor.size() < at + 2 * width) continue;
    const uint64_t compressed =
        width == 4 ? ZipBytes::U32(descriptor, at) : ZipBytes::U64(descriptor, at);
    const uint64_t uncompressed =
        width == 4 ? ZipBytes::U32(descriptor, at + width) : ZipBytes::U64(descriptor, at + width);
    if (compressed == member.compressedSize && uncompressed == member.uncompressedSize) {
      return dataEnd + at + 2 * width;
    }
  }
  Refuse(member.name + ": its data descriptor does not match the directory");
}

}  // namespace qz

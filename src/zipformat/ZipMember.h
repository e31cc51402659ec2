#pragma once

#include <cstdint>
#include <string>

namespace qz {

// One member as an archive's central directory lists it, with the record itself so that a
// new directory can list it again unchanged but for where its local header lies.
struct ZipMember {
  std::string name;
  uint32_t crc32 = 0;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t madeBy = 0;
  uint32_t externalAttributes = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint64_t localHeaderOffset = 0;
  // The whole central directory record.
  std::string record;
  // Where in `record` the local header's offset is kept: the 4-byte field, or the 8-byte
  // zip64 field when the 4-byte one says 0xFFFFFFFF.
  size_t offsetField = 0;
  bool zip64Offset = false;

  bool Encrypted() const { return (flags & 1) != 0; }
  bool HasDataDescriptor() const { return (flags & 8) != 0; }
  // A plain file as far as the record tells: no folder, link or device.
  bool IsOrdinaryFile() const;
};

}  // namespace qz

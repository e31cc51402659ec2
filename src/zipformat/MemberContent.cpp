#include "zipformat/MemberContent.h"

#include <libdeflate.h>

#include <memory>
#include <new>

#include "platform/Error.h"
#include "zipformat/CentralDirectory.h"
#include "zipformat/Sha256.h"

namespace qz {
namespace {

constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

[[noreturn]] void Refuse(const ZipMember& member, const std::string& what) {
  throw Error(Error::kInternalError, member.name + ": " + what, "MemberContent");
}

}  // namespace

std::string MemberContent::Inflate(std::string_view entry, const ZipMember& member,
                                   uint64_t maxSize) {
  if (member.Encrypted()) Refuse(member, "it is encrypted");
  if (member.method != kStored && member.method != kDeflated) {
    Refuse(member, "its compression method " + std::to_string(member.method) + " is not read");
  }
  if (member.uncompressedSize > maxSize) Refuse(member, "it is too large to hold in memory");
  const uint64_t dataAt = CentralDirectory::DataOffset(entry, member);
  if (dataAt > entry.size() || entry.size() - dataAt < member.compressedSize) {
    Refuse(member, "its data end early");
  }
  const std::string_view data =
      entry.substr(static_cast<size_t>(dataAt), static_cast<size_t>(member.compressedSize));
  if (member.method == kStored) {
    if (member.compressedSize != member.uncompressedSize) Refuse(member, "its sizes differ");
    return std::string(data);
  }
  std::string out(static_cast<size_t>(member.uncompressedSize), '\0');
  std::unique_ptr<libdeflate_decompressor, decltype(&libdeflate_free_decompressor)> inflater(
      libdeflate_alloc_decompressor(), &libdeflate_free_decompressor);
  if (!inflater) throw std::bad_alloc();
  // Without a place for the output's length, libdeflate insists on filling `out` exactly.
  if (libdeflate_deflate_decompress(inflater.get(), data.data(), data.size(), out.data(),
                                    out.size(), nullptr) != LIBDEFLATE_SUCCESS) {
    Refuse(member, "its data do not inflate to its size");
  }
  return out;
}

std::string MemberContent::Sha256Of(std::string_view entry, const ZipMember& member,
                                    uint64_t maxSize) {
  return Sha256::HexOf(Inflate(entry, member, maxSize));
}

}  // namespace qz

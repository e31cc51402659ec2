#include "libunzip32/WholeReader.h"

#include <libdeflate.h>
#include <zip.h>

#include "libunzip32/CallerText.h"
#include "libunzip32/ZipError.h"

namespace qz::unzip32 {
namespace {

// Members up to this size are held whole: twice this (compressed and inflated) is the
// most memory a run takes for member data.
constexpr uint64_t kLargestWhole = 16 * 1024 * 1024;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kUsualNameAndExtra = 512;
constexpr uint32_t kLocalSignature = 0x04034b50;

uint32_t Le(const char* bytes, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[i]);
  return value;
}

}  // namespace

WholeReader::WholeReader(const std::string& path)
    : file_(CallerText::FilePath(path), std::ios::binary),
      decompressor_(libdeflate_alloc_decompressor()) {}

WholeReader::~WholeReader() {
  libdeflate_free_decompressor(decompressor_);
}

bool WholeReader::Suits(const ZipArchive::Member& member) {
  return member.encryption == ZIP_EM_NONE &&
         (member.method == ZIP_CM_STORE || member.method == ZIP_CM_DEFLATE) &&
         member.size <= kLargestWhole && member.compressedSize <= kLargestWhole;
}

std::string_view WholeReader::Read(const ZipArchive::Member& member, uint64_t offset) {
  if (decompressor_ == nullptr) throw ZipError(ZIP_ER_MEMORY, "Malloc failure");
  // Suits() bounds the sizes, so they fit a size_t on 32-bit systems too.
  const size_t compressedSize = static_cast<size_t>(member.compressedSize);
  // The local header, its name and extra field and the data, in one read when the name
  // and extra field are of a usual length.
  size_t wanted = kLocalHeaderSize + kUsualNameAndExtra + compressedSize;
  compressed_.resize(wanted);
  size_t got = ReadAt(offset, compressed_.data(), wanted);
  if (got < kLocalHeaderSize) throw ZipError(ZIP_ER_EOF, "Premature end of file");
  const char* header = compressed_.data();
  if (Le(header, 4) != kLocalSignature) throw ZipError(ZIP_ER_NOZIP, "Not a zip archive");
  size_t start = kLocalHeaderSize + Le(header + 26, 2) + Le(header + 28, 2);
  if (start + compressedSize > got) {
    if (got == wanted) {
      got = ReadAt(offset + start, compressed_.data(), compressedSize);
      start = 0;
    }
    if (start + compressedSize > got) throw ZipError(ZIP_ER_EOF, "Premature end of file");
  }
  std::string_view data = Inflate(member, {compressed_.data() + start, compressedSize});
  if (libdeflate_crc32(0, data.data(), data.size()) != member.crc) {
    throw ZipError(ZIP_ER_CRC, "CRC error");
  }
  return data;
}

size_t WholeReader::ReadAt(uint64_t offset, char* data, size_t size) {
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(offset));
  file_.read(data, static_cast<std::streamsize>(size));
  return static_cast<size_t>(file_.gcount());
}

std::string_view WholeReader::Inflate(const ZipArchive::Member& member,
                                      std::string_view compressed) {
  // A member longer or shorter than its directory entry says is damaged even if its CRC fits.
  auto inconsistent = [] {
    return ZipError(ZIP_ER_INCONS, "Size differs from the archive's directory");
  };
  if (member.method == ZIP_CM_STORE) {
    if (member.compressedSize != member.size) throw inconsistent();
    return compressed;
  }
  data_.resize(static_cast<size_t>(member.size));
  size_t produced = 0;
  switch (libdeflate_deflate_decompress(decompressor_, compressed.data(), compressed.size(),
                                        data_.data(), data_.size(), &produced)) {
    case LIBDEFLATE_SUCCESS:
      if (produced != member.size) throw inconsistent();
      return {data_.data(), produced};
    case LIBDEFLATE_INSUFFICIENT_SPACE:
      throw inconsistent();
    default:
      throw ZipError(ZIP_ER_COMPRESSED_DATA, "Compressed data invalid");
  }
}

}  // namespace qz::unzip32

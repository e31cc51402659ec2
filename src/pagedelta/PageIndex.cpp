#include "pagedelta/PageIndex.h"

#include <sodium.h>

#include <algorithm>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "zipformat/ZipBytes.h"

namespace qz {
namespace {

const char kMagic[] = "QzPages1";
constexpr size_t kMagicBytes = 8;

[[noreturn]] void Malformed(const std::string& why) {
  throw Error(Error::kInternalError, "the page index " + why, "PageIndex");
}

std::string HexOf(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::string BytesOf(const std::string& hex) {
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
  }
  return bytes;
}

uint64_t ChunkCount(uint64_t fileSize, uint32_t chunkSize) {
  return fileSize / chunkSize + (fileSize % chunkSize != 0 ? 1 : 0);
}

}  // namespace

uint64_t PageIndex::HeaderLength(std::string_view fixed) {
  if (fixed.size() < kFixedBytes || fixed.substr(0, kMagicBytes) != kMagic) {
    Malformed("does not start as one");
  }
  const uint64_t length = ZipBytes::U64(fixed, 8);
  const uint64_t fileSize = ZipBytes::U64(fixed, 16);
  const uint32_t chunkSize = ZipBytes::U32(fixed, 24);
  if (chunkSize < kMinChunk || chunkSize > kMaxChunk || chunkSize % kMinChunk != 0) {
    Malformed("has a chunk size of " + std::to_string(chunkSize));
  }
  const uint64_t count = ChunkCount(fileSize, chunkSize);
  if (count > (UINT64_MAX - kFixedBytes) / kEntryBytes ||
      length != kFixedBytes + count * kEntryBytes) {
    Malformed("states a length that does not fit its chunks");
  }
  return length;
}

PageIndex PageIndex::Parse(std::string_view header) {
  PageIndex index;
  index.headerLength = HeaderLength(header);
  if (header.size() != index.headerLength) Malformed("is cut short");
  index.fileSize = ZipBytes::U64(header, 16);
  index.chunkSize = ZipBytes::U32(header, 24);
  index.sha256 = HexOf(header.substr(28, 32));
  uint64_t offset = index.headerLength;
  uint64_t left = index.fileSize;
  for (size_t at = kFixedBytes; at < header.size(); at += kEntryBytes) {
    PageChunk chunk;
    chunk.hash = std::string(header.substr(at, kHashBytes));
    chunk.stored = ZipBytes::U32(header, at + kHashBytes);
    chunk.size = static_cast<uint32_t>(std::min<uint64_t>(left, index.chunkSize));
    // Deflating never needs to be kept when it does not save anything.
    if (chunk.stored == 0 || chunk.stored > chunk.size) Malformed("lists a chunk of wrong length");
    chunk.offset = offset;
    offset += chunk.stored;
    left -= chunk.size;
    index.chunks.push_back(std::move(chunk));
  }
  return index;
}

std::string PageIndex::Header(uint64_t fileSize, uint32_t chunkSize, const std::string& sha256Hex,
                              const std::vector<PageChunk>& chunks) {
  std::string header(kMagic, kMagicBytes);
  ZipBytes::Append64(header, kFixedBytes + chunks.size() * kEntryBytes);
  ZipBytes::Append64(header, fileSize);
  ZipBytes::Append32(header, chunkSize);
  header += BytesOf(sha256Hex);
  for (const PageChunk& chunk : chunks) {
    header += chunk.hash;
    ZipBytes::Append32(header, chunk.stored);
  }
  return header;
}

std::string PageIndex::HashOf(const char* data, size_t size) {
  unsigned char hash[kHashBytes];
  crypto_generichash(hash, sizeof hash, reinterpret_cast<const unsigned char*>(data), size, nullptr,
                     0);
  return std::string(reinterpret_cast<const char*>(hash), sizeof hash);
}

uint64_t PageIndex::CompanionSize() const {
  return chunks.empty() ? headerLength : chunks.back().offset + chunks.back().stored;
}

void PageIndex::ReadInChunks(
    FileSystem& files, const std::string& path, uint64_t chunkSize,
    const std::function<void(const std::string& piece, uint64_t offset)>& chunk) {
  std::string piece;
  piece.reserve(static_cast<size_t>(chunkSize));
  uint64_t offset = 0;
  auto handOn = [&] {
    chunk(piece, offset);
    offset += piece.size();
    piece.clear();
  };
  files.ReadInPieces(path, [&](const char* data, size_t size) {
    while (size > 0) {
      const size_t take = std::min<size_t>(size, chunkSize - piece.size());
      piece.append(data, take);
      data += take;
      size -= take;
      if (piece.size() == chunkSize) handOn();
    }
  });
  if (!piece.empty()) handOn();
}

}  // namespace qz

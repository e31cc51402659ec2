#include "pagedelta/PageCompanionCheck.h"

#include <libdeflate.h>

#include <cstdint>
#include <memory>

#include "pagedelta/PageIndex.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "zipformat/Sha256.h"

namespace qz {
namespace {

[[noreturn]] void Differs(const std::string& why) {
  throw Error(Error::kInternalError, why, "PageCompanionCheck");
}

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
  }
};

}  // namespace

std::string PageCompanionCheck::Compare(FileSystem& files, const std::string& companionPath,
                                        const std::string& filePath) {
  const std::string companion = files.ReadTextFile(companionPath, SIZE_MAX);
  const std::string file = files.ReadTextFile(filePath, SIZE_MAX);
  const uint64_t headerLength = PageIndex::HeaderLength(companion);
  if (headerLength > companion.size()) Differs("its header is cut short");
  const PageIndex index = PageIndex::Parse(std::string_view(companion).substr(0, headerLength));
  if (index.CompanionSize() != companion.size()) {
    Differs("its length does not fit its header");
  }
  if (index.fileSize != file.size() || index.sha256 != Sha256::HexOf(file)) {
    Differs("it was written for another version of the database file");
  }
  const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  std::string inflated(index.chunkSize, '\0');
  uint64_t at = 0;
  for (size_t i = 0; i < index.chunks.size(); ++i) {
    const PageChunk& chunk = index.chunks[i];
    const std::string_view page =
        std::string_view(file).substr(static_cast<size_t>(at), chunk.size);
    const std::string_view stored =
        std::string_view(companion).substr(static_cast<size_t>(chunk.offset), chunk.stored);
    const bool inflates = chunk.stored == chunk.size
                              ? stored == page
                              : libdeflate_deflate_decompress(
                                    decompressor.get(), stored.data(), stored.size(),
                                    inflated.data(), chunk.size, nullptr) == LIBDEFLATE_SUCCESS &&
                                    std::string_view(inflated).substr(0, chunk.size) == page;
    if (!inflates || PageIndex::HashOf(page.data(), page.size()) != chunk.hash) {
      Differs("chunk " + std::to_string(i) + " (at byte " + std::to_string(at) +
              ") is not the database file's");
    }
    at += chunk.size;
  }
  const uint64_t deflated = companion.size() - index.headerLength;
  return std::to_string(index.chunks.size()) + " chunks of " + std::to_string(index.chunkSize) +
         " bytes match the database file; header " + std::to_string(index.headerLength) +
         " bytes, pages deflated " + std::to_string(deflated) + " bytes (" +
         std::to_string(file.empty() ? 0 : deflated * 100 / file.size()) + "% of it).";
}

}  // namespace qz

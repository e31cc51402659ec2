#include "pagedelta/PageCompanionWriter.h"

#include <libdeflate.h>

#include <memory>
#include <vector>

#include "pagedelta/PageIndex.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "zipformat/Sha256.h"

namespace qz {
namespace {

// Higher levels take much longer for a few bytes on pages this small.
constexpr int kLevel = 9;

struct CompressorDeleter {
  void operator()(libdeflate_compressor* compressor) const {
    libdeflate_free_compressor(compressor);
  }
};

}  // namespace

uint32_t PageCompanionWriter::ChunkSizeFor(const std::string& serverName) {
  return serverName.rfind("VqData", 0) == 0 ? 8192 : 4096;
}

std::string PageCompanionWriter::CompanionName(const std::string& serverName) {
  return serverName.substr(0, serverName.rfind('.')) + ".PGZ";
}

void PageCompanionWriter::Write(FileSystem& files, const std::string& from, const std::string& to,
                                uint32_t chunkSize) {
  const std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressor(
      libdeflate_alloc_compressor(kLevel));
  if (!compressor) throw Error::Standard(Error::kOutOfMemory, "PageCompanionWriter");
  std::vector<PageChunk> chunks;
  std::string body;
  std::string deflated(chunkSize, '\0');
  Sha256 sha256;
  uint64_t fileSize = 0;
  PageIndex::ReadInChunks(files, from, chunkSize, [&](const std::string& chunk, uint64_t) {
    sha256.Add(chunk.data(), chunk.size());
    fileSize += chunk.size();
    PageChunk entry;
    entry.hash = PageIndex::HashOf(chunk.data(), chunk.size());
    entry.size = static_cast<uint32_t>(chunk.size());
    // A chunk that deflates to no less than itself is stored as it is.
    const size_t length = libdeflate_deflate_compress(compressor.get(), chunk.data(), chunk.size(),
                                                      deflated.data(), chunk.size() - 1);
    entry.stored = length == 0 ? entry.size : static_cast<uint32_t>(length);
    body.append(length == 0 ? chunk.data() : deflated.data(), entry.stored);
    chunks.push_back(std::move(entry));
  });
  files.WriteTextFile(to, PageIndex::Header(fileSize, chunkSize, sha256.Hex(), chunks) + body);
}

}  // namespace qz

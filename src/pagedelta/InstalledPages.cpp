#include "pagedelta/InstalledPages.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>

#include "pagedelta/PageIndex.h"
#include "platform/FileSystem.h"

namespace qz {
namespace {

using Hash = std::array<char, PageIndex::kHashBytes>;

struct HashOfHash {
  size_t operator()(const Hash& hash) const {
    size_t value;
    std::memcpy(&value, hash.data(), sizeof value);
    return value;
  }
};

Hash KeyOf(const std::string& hash) {
  Hash key;
  std::memcpy(key.data(), hash.data(), key.size());
  return key;
}

}  // namespace

std::vector<uint64_t> InstalledPages::Find(FileSystem& files, const std::string& path,
                                           const PageIndex& index) {
  // Where each hash of the index lies in the installed file, in ascending order.
  std::unordered_map<Hash, std::vector<uint64_t>, HashOfHash> found;
  found.reserve(index.chunks.size());
  for (const PageChunk& chunk : index.chunks) found[KeyOf(chunk.hash)];
  PageIndex::ReadInChunks(
      files, path, index.chunkSize, [&](const std::string& piece, uint64_t offset) {
        const auto it = found.find(KeyOf(PageIndex::HashOf(piece.data(), piece.size())));
        if (it != found.end()) it->second.push_back(offset);
      });
  std::vector<uint64_t> sources;
  uint64_t cursor = 0;
  for (size_t i = 0; i < index.chunks.size(); ++i) {
    const std::vector<uint64_t>& at = found[KeyOf(index.chunks[i].hash)];
    const uint64_t same = static_cast<uint64_t>(i) * index.chunkSize;
    const bool stays = same >= cursor && std::binary_search(at.begin(), at.end(), same);
    const auto next = std::lower_bound(at.begin(), at.end(), stays ? same : cursor);
    if (next == at.end()) {
      sources.push_back(kMissing);
      continue;
    }
    cursor = *next;
    sources.push_back(cursor);
  }
  return sources;
}

}  // namespace qz

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

class FileSystem;
class PageIndex;

// Finds the chunks of a new page file that the installed file already holds, reading it
// once: each of its chunk-aligned pieces is hashed and looked up among the index's.
class InstalledPages {
 public:
  static constexpr uint64_t kMissing = UINT64_MAX;

  // For each chunk of `index`, where in the installed file at `path` a piece with its hash
  // lies, or kMissing. Sources never go backwards from one chunk to the next, so the new
  // file can be assembled while the installed one is read once more from its start; a
  // chunk that stays where it was keeps its place. Throws qz::Error when the file fails.
  static std::vector<uint64_t> Find(FileSystem& files, const std::string& path,
                                    const PageIndex& index);
};

}  // namespace qz

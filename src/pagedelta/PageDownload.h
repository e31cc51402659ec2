#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteRange.h"

namespace qz {

class FileSystem;
class PageIndex;
class PageRangeFetch;
class PartCollector;
class TransferObserver;
class UrlServices;

// Downloads a new version of a page file by the chunks that the installed file lacks:
// reads the header of the file's companion (PageIndex) with range requests, finds the
// chunks the installed file holds, fetches the others and assembles the new file, which
// must have the size and SHA-256 the index (and, when signed, the vendor) gives. Whatever
// stands in the way ends with the reason, and the caller downloads the whole file instead.
class PageDownload {
 public:
  // Above this share of the file a delta saves too little to be worth its requests.
  static constexpr double kMostOfFile = 0.9;
  // The fetched chunks are held in memory until the file is assembled.
  static constexpr uint64_t kMaxHeldBytes = uint64_t{256} << 20;

  enum class Result { kDone, kFullDownload, kCancelled };

  struct Outcome {
    Result result = Result::kFullDownload;
    std::string reason;  // why the whole file must be downloaded (kFullDownload)
    uint64_t fileBytes = 0;
    uint64_t companionBytes = 0;
    uint64_t fetchedBytes = 0;  // the header and the chunks, as they came
    int requests = 0;
    size_t chunksFetched = 0;
    size_t chunksKept = 0;
  };

  PageDownload(UrlServices& urls, FileSystem& files);

  // The vendor's signed sizes of the companion and the file and the file's SHA-256: a
  // companion of another length, or an index of another file, ends the run.
  void RequireSigned(uint64_t companionSize, uint64_t fileSize, const std::string& sha256);

  // Writes the new version of the file at `fileUrl`, assembled from `installedPath` and the
  // chunks of the companion at `companionUrl`, to `stagedPath`. Unsigned, the file's length
  // and last chunk on the server must be the index's, so a companion left from another
  // version is not taken for the file's. `observer` sees the chunks' bytes as they arrive (their
  // total as the expected length) and ticks; its stop cancels the run. Chunks fetched by a
  // run that does not finish wait in `keptPath` (empty: nowhere) for the next run on the
  // same version of the companion.
  Outcome Run(const std::string& fileUrl, const std::string& companionUrl,
              const std::string& installedPath, const std::string& stagedPath,
              const std::string& keptPath, TransferObserver* observer);

 private:
  PageIndex ReadIndex(PageRangeFetch& fetch);
  // Ends the run unless the published file ends as the index says.
  void CheckPublished(const std::string& fileUrl, const PageIndex& index);
  std::vector<ByteRange> Plan(const PageIndex& index, const std::vector<uint64_t>& sources);
  void Restore(const std::string& keptPath, const std::string& validator, PartCollector& chunks);
  void Keep(const std::string& keptPath, const PageRangeFetch& fetch, const PartCollector& chunks);
  void Assemble(const PageIndex& index, const std::vector<uint64_t>& sources,
                const PartCollector& chunks, const std::string& installedPath,
                const std::string& stagedPath, TransferObserver* observer);
  // Ends the run for a file or index that is not the one published; nothing fetched is kept.
  [[noreturn]] void Refused(const std::string& why);

  UrlServices& urls_;
  FileSystem& files_;
  Outcome outcome_;
  bool signed_ = false;
  uint64_t signedCompanionSize_ = 0;
  uint64_t signedFileSize_ = 0;
  std::string signedSha256_;
  bool refused_ = false;
  bool restored_ = false;
  bool cancelled_ = false;
};

}  // namespace qz

#include "pagedelta/PageDownload.h"

#include <libdeflate.h>

#include <algorithm>
#include <memory>
#include <new>

#include "delta/PartCollector.h"
#include "pagedelta/InstalledPages.h"
#include "pagedelta/PageIndex.h"
#include "pagedelta/PageRangeFetch.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/TransferObserver.h"
#include "zipformat/Sha256.h"

namespace qz {
namespace {

// The assembled file goes to disk in pieces of this size, so it is never held whole.
constexpr size_t kWriteBytes = size_t{4} << 20;

[[noreturn]] void FullDownload(const std::string& why) {
  throw Error(Error::kInternalError, why, "PageDownload");
}

struct DecompressorDeleter {
  void operator()(libdeflate_decompressor* decompressor) const {
    libdeflate_free_decompressor(decompressor);
  }
};

// Chunks next to each other in the companion are fetched as one range.
std::vector<ByteRange> Merged(const std::vector<ByteRange>& ranges) {
  std::vector<ByteRange> merged;
  for (const ByteRange& range : ranges) {
    if (!merged.empty() && range.first == merged.back().last + 1) {
      merged.back().last = range.last;
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

}  // namespace

PageDownload::PageDownload(UrlServices& urls, FileSystem& files) : urls_(urls), files_(files) {}

void PageDownload::RequireSigned(uint64_t companionSize, uint64_t fileSize,
                                 const std::string& sha256) {
  signed_ = true;
  signedCompanionSize_ = companionSize;
  signedFileSize_ = fileSize;
  signedSha256_ = sha256;
}

PageDownload::Outcome PageDownload::Run(const std::string& fileUrl, const std::string& companionUrl,
                                        const std::string& installedPath,
                                        const std::string& stagedPath, const std::string& keptPath,
                                        TransferObserver* observer) {
  outcome_ = Outcome{};
  refused_ = false;
  restored_ = false;
  cancelled_ = false;
  PageRangeFetch fetch(urls_, companionUrl);
  PartCollector chunks(observer);
  try {
    const PageIndex index = ReadIndex(fetch);
    if (!signed_) CheckPublished(fileUrl, index);
    const std::vector<uint64_t> sources = InstalledPages::Find(files_, installedPath, index);
    const std::vector<ByteRange> ranges = Plan(index, sources);
    uint64_t total = 0;
    uint64_t largest = 0;
    for (const ByteRange& range : ranges) {
      total += range.Length();
      largest = std::max(largest, range.Length());
    }
    chunks.Expect(static_cast<int64_t>(total), largest);
    Restore(keptPath, fetch.Validator(), chunks);
    fetch.Fetch(ranges, chunks);
    Assemble(index, sources, chunks, installedPath, stagedPath, observer);
    outcome_.result = Result::kDone;
  } catch (const Error& error) {
    outcome_.result = fetch.Cancelled() || cancelled_ ? Result::kCancelled : Result::kFullDownload;
    outcome_.reason = error.Description();
  } catch (const std::bad_alloc&) {
    outcome_.reason = "not enough memory for the changed pages";
  }
  outcome_.requests += fetch.Requests();
  outcome_.fetchedBytes += fetch.Received();
  if (outcome_.result != Result::kDone) {
    try {
      if (files_.FileExists(stagedPath)) files_.DeleteFile(stagedPath);
    } catch (const Error&) {
      // The whole download that follows replaces it.
    }
  }
  Keep(keptPath, fetch, chunks);
  return outcome_;
}

PageIndex PageDownload::ReadIndex(PageRangeFetch& fetch) {
  PartCollector header(nullptr);
  const ByteRange fixed{0, PageIndex::kFixedBytes - 1};
  header.Expect(-1, fixed.Length());
  fetch.Fetch({fixed}, header);
  outcome_.companionBytes = fetch.Length();
  if (signed_ && fetch.Length() != signedCompanionSize_) {
    Refused("the page index's length differs from the signed one");
  }
  const uint64_t length = PageIndex::HeaderLength(header.Slice(fixed));
  if (length > kMaxHeldBytes) FullDownload("the page index is too large to hold");
  std::string whole(header.Slice(fixed));
  if (length > fixed.Length()) {
    const ByteRange rest{fixed.Length(), length - 1};
    header.Expect(-1, rest.Length());
    fetch.Fetch({rest}, header);
    whole += header.Slice(rest);
  }
  PageIndex index = PageIndex::Parse(whole);
  if (index.CompanionSize() != fetch.Length()) {
    FullDownload("the page index does not fit the length of its file");
  }
  if (signed_ && (index.fileSize != signedFileSize_ || index.sha256 != signedSha256_)) {
    Refused("the page index describes another file than the signed one");
  }
  outcome_.fileBytes = index.fileSize;
  return index;
}

void PageDownload::CheckPublished(const std::string& fileUrl, const PageIndex& index) {
  if (index.chunks.empty()) return;
  const PageChunk& last = index.chunks.back();
  const ByteRange range{index.fileSize - last.size, index.fileSize - 1};
  PageRangeFetch probe(urls_, fileUrl);
  PartCollector tail(nullptr);
  tail.Expect(-1, range.Length());
  probe.Fetch({range}, tail);
  outcome_.requests += probe.Requests();
  outcome_.fetchedBytes += probe.Received();
  const std::string_view page = tail.Slice(range);
  if (probe.Length() != index.fileSize ||
      PageIndex::HashOf(page.data(), page.size()) != last.hash) {
    FullDownload("the page index was written for another version of the file");
  }
}

std::vector<ByteRange> PageDownload::Plan(const PageIndex& index,
                                          const std::vector<uint64_t>& sources) {
  std::vector<ByteRange> ranges;
  uint64_t total = 0;
  for (size_t i = 0; i < index.chunks.size(); ++i) {
    if (sources[i] != InstalledPages::kMissing) {
      ++outcome_.chunksKept;
      continue;
    }
    const PageChunk& chunk = index.chunks[i];
    ranges.push_back({chunk.offset, chunk.offset + chunk.stored - 1});
    total += chunk.stored;
    ++outcome_.chunksFetched;
  }
  if (total > kMaxHeldBytes) FullDownload("the changed pages are too large to hold");
  if (static_cast<double>(total) > kMostOfFile * static_cast<double>(index.fileSize)) {
    FullDownload("most of the file changed");
  }
  return Merged(ranges);
}

void PageDownload::Restore(const std::string& keptPath, const std::string& validator,
                           PartCollector& chunks) {
  try {
    if (!keptPath.empty() && files_.FileExists(keptPath)) {
      restored_ = chunks.Restore(files_.ReadTextFile(keptPath, kMaxHeldBytes * 2), validator);
    }
  } catch (const Error&) {
    // Kept chunks that cannot be read are fetched again.
  }
}

// Fetched chunks wait for the next attempt unless the file is done or they are outdated.
void PageDownload::Keep(const std::string& keptPath, const PageRangeFetch& fetch,
                        const PartCollector& chunks) {
  if (keptPath.empty()) return;
  try {
    const bool worthKeeping = outcome_.result != Result::kDone && !fetch.Changed() && !refused_ &&
                              !fetch.Validator().empty() && (chunks.Received() > 0 || restored_);
    if (worthKeeping) {
      files_.WriteTextFile(keptPath, chunks.Kept(fetch.Validator()));
    } else if (files_.FileExists(keptPath)) {
      files_.DeleteFile(keptPath);
    }
  } catch (const std::exception&) {
    // Without them the next attempt fetches these chunks again.
  }
}

void PageDownload::Assemble(const PageIndex& index, const std::vector<uint64_t>& sources,
                            const PartCollector& chunks, const std::string& installedPath,
                            const std::string& stagedPath, TransferObserver* observer) {
  const std::unique_ptr<libdeflate_decompressor, DecompressorDeleter> decompressor(
      libdeflate_alloc_decompressor());
  if (!decompressor) throw std::bad_alloc();
  files_.WriteTextFile(stagedPath, "");
  std::string out;
  Sha256 sha256;
  uint64_t written = 0;
  auto add = [&](const char* data, size_t size) {
    sha256.Add(data, size);
    out.append(data, size);
    written += size;
    if (out.size() < kWriteBytes) return;
    files_.AppendToFile(stagedPath, out);
    out.clear();
    if (observer != nullptr && !observer->OnTick()) {
      cancelled_ = true;
      FullDownload("cancelled");
    }
  };
  size_t next = 0;
  std::string inflated(index.chunkSize, '\0');
  auto addFetched = [&] {
    for (; next < index.chunks.size() && sources[next] == InstalledPages::kMissing; ++next) {
      const PageChunk& chunk = index.chunks[next];
      const std::string_view stored = chunks.Slice({chunk.offset, chunk.offset + chunk.stored - 1});
      const char* bytes = stored.data();
      if (chunk.stored < chunk.size) {
        if (libdeflate_deflate_decompress(decompressor.get(), stored.data(), stored.size(),
                                          inflated.data(), chunk.size,
                                          nullptr) != LIBDEFLATE_SUCCESS) {
          FullDownload("a fetched page does not inflate");
        }
        bytes = inflated.data();
      }
      if (PageIndex::HashOf(bytes, chunk.size) != chunk.hash) {
        FullDownload("a fetched page differs from its index");
      }
      add(bytes, chunk.size);
    }
  };
  addFetched();
  if (next < index.chunks.size()) {
    PageIndex::ReadInChunks(
        files_, installedPath, index.chunkSize, [&](const std::string& piece, uint64_t offset) {
          for (; next < index.chunks.size() && sources[next] == offset; addFetched()) {
            if (piece.size() != index.chunks[next].size) FullDownload("the installed file changed");
            add(piece.data(), piece.size());
            ++next;
          }
        });
  }
  if (!out.empty()) files_.AppendToFile(stagedPath, out);
  if (next != index.chunks.size() || written != index.fileSize || sha256.Hex() != index.sha256) {
    Refused("the assembled file differs from the published one");
  }
}

void PageDownload::Refused(const std::string& why) {
  refused_ = true;
  FullDownload(why);
}

}  // namespace qz

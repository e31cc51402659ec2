#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/ByteRange.h"
#include "platform/RangeReply.h"

namespace qz {

class RangeReceiver;
class TransferObserver;

// Whole-file downloads. No cache is ever used, so removing a cache entry does nothing.
//
// Result codes of DownloadToFile, the same on every platform where they apply:
//   0                  the whole file lies at the target path
//   100 to 999         the server's final HTTP status when it is not 200 (204, 206, 404, ...)
//   kAborted           the observer stopped the transfer
//   kTooLarge          the file is larger than the caller's limit
//   kStalled           fewer than 1 KiB a second arrived over a whole minute
//   kRangesRefused     (FetchRanges) a 200 to several ranges, or a transport without ranges
//   kValidatorChanged  (FetchRanges) a 206 for another version of the file than If-Range named
//   -(1000 + error)    the local file cannot be written (the platform's error number)
//   other negatives    transport failures; each platform documents its own
class UrlServices {
 public:
  static constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

  static constexpr int32_t kInvalidReply = -8;
  static constexpr int32_t kAborted = -42;
  static constexpr int32_t kTooLarge = -63;
  static constexpr int32_t kStalled = -900;
  static constexpr int32_t kRangesRefused = -901;
  static constexpr int32_t kValidatorChanged = -902;
  static constexpr int32_t kLocalFailureBase = 1000;

  virtual ~UrlServices() = default;

  // Removes any cached copy of `url`; harmless when there is none.
  virtual void DeleteCacheEntry(const std::string& url) = 0;

  // Blocks until `url` has been saved whole at `path` (replacing it) and returns 0, or
  // returns a failure code and leaves `path` as it was and no partial file. Only an answer
  // of 200 is the file; a body of more than `maxBytes` fails with kTooLarge. A server that
  // compresses its answer is decoded, so the file holds what the server published.
  virtual int32_t DownloadToFile(const std::string& url, const std::string& path,
                                 TransferObserver* observer, uint64_t maxBytes) = 0;

  // As DownloadToFile, but resumable: the body arrives in `partialPath` (in an existing
  // folder on the same file system as `path`), which a failed or stopped transfer leaves
  // there with its validator (`partialPath` + ".validator"). The next call with the same
  // paths asks only for the rest, valid only while the server's file is unchanged; a
  // server that ignores the range, or a changed file, means a fresh download. The observer
  // always sees the whole file from its first byte. Transports without resume download
  // the whole file every time. A completed download leaves the validator: a caller that
  // moves the file from `path` back to `partialPath` keeps a part that the next call
  // confirms with one request (a 416 naming its length) instead of fetching it again; the
  // caller deletes the validator once it needs neither.
  virtual int32_t ResumeToFile(const std::string& url, const std::string& path,
                               const std::string& partialPath, TransferObserver* observer,
                               uint64_t maxBytes) {
    (void)partialPath;
    return DownloadToFile(url, path, observer, maxBytes);
  }

  // Asks for the byte `ranges` of `url` (not empty, a suffix range only alone; several go
  // in one request, answered as multipart/byteranges) without content coding, with
  // `If-Range: ifRange` unless `ifRange` is empty, and hands each part to `receiver` with the range
  // its own Content-Range names, in the order they arrive; parts outside the span asked for, or not
  // as long as they say, fail with kInvalidReply. A 200 to one range is the whole file, delivered
  // as one part from byte 0; a 200 to several is refused (kRangesRefused) before its body is read.
  // Other statuses are the result, nothing delivered.
  virtual RangeReply FetchRanges(const std::string& url, const std::vector<ByteRange>& ranges,
                                 const std::string& ifRange, RangeReceiver& receiver) {
    (void)url;
    (void)ranges;
    (void)ifRange;
    (void)receiver;
    return RangeReply::Failure(kRangesRefused);
  }

  int32_t DownloadToFile(const std::string& url, const std::string& path,
                         TransferObserver* observer) {
    return DownloadToFile(url, path, observer, kNoLimit);
  }
  int32_t DownloadToFile(const std::string& url, const std::string& path) {
    return DownloadToFile(url, path, nullptr, kNoLimit);
  }

  // The code of a local file failure with the platform's error number `error`.
  static int32_t LocalFailure(int error) { return -(kLocalFailureBase + error); }
};

}  // namespace qz

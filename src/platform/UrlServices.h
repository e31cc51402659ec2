#pragma once

#include <cstdint>
#include <string>

namespace qz {

class TransferObserver;

// Whole-file downloads. No cache is ever used, so removing a cache entry does nothing.
class UrlServices {
 public:
  virtual ~UrlServices() = default;

  // Removes any cached copy of `url`; harmless when there is none.
  virtual void DeleteCacheEntry(const std::string& url) = 0;

  // Blocks until `url` has been saved whole at `path` (replacing it) and returns 0, or
  // returns a non-zero failure code and leaves no partial file under `path`.
  // Codes: the HTTP status for 300 and above; -(curl code) for a transfer failure;
  // -(1000 + errno) when the local file cannot be written.
  virtual int32_t DownloadToFile(const std::string& url, const std::string& path,
                                 TransferObserver* observer) = 0;

  int32_t DownloadToFile(const std::string& url, const std::string& path) {
    return DownloadToFile(url, path, nullptr);
  }

  // The failure code of a transfer that its observer aborted.
  static constexpr int32_t kAborted = -42;
};

}  // namespace qz

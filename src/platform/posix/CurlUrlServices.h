#pragma once

#include <cstdint>
#include <string>

#include "platform/UrlServices.h"

namespace qz {

// Whole-file downloads over HTTP and HTTPS with libcurl. Each download uses a fresh
// transfer that sends "Cache-Control: no-cache" and "Pragma: no-cache", verifies server
// certificates, follows up to 10 redirects to http and https addresses only, gives up
// connecting after 30 seconds and aborts when less than 1 byte per second arrives for 60
// seconds, but has no overall time limit. Proxies come from the usual environment variables.
//
// Result codes of DownloadToFile:
//   0                   the whole body lies at the target path
//   300 and above       the server's final HTTP status (a 3xx only when it was not followed)
//   -(CURLcode)         transfer failure, e.g. -1 unsupported protocol or redirect to one,
//                       -6 host not found, -7 connection refused, -18 body cut short,
//                       -28 connect timeout or stalled transfer, -47 too many redirects,
//                       -60 certificate not trusted
//   -42                 the observer aborted the transfer (UrlServices::kAborted)
//   -(1000 + errno)     the local file cannot be written, e.g. -1002 folder missing,
//                       -1013 permission denied, -1028 disk full
class CurlUrlServices : public UrlServices {
 public:
  // libcurl keeps no cache between transfers and this class keeps no transfer, so there
  // is never anything to remove.
  void DeleteCacheEntry(const std::string& url) override;
  // The body streams through a fixed buffer into a temporary file beside `path`, which is
  // renamed over `path` (resolved case-insensitively) only after a complete, successful
  // transfer; on failure the temporary file is removed and `path` is untouched.
  int32_t DownloadToFile(const std::string& url, const std::string& path,
                         TransferObserver* observer) override;
  using UrlServices::DownloadToFile;
};

}  // namespace qz

#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/StallDetector.h"
#include "platform/UrlServices.h"

namespace qz {

// Whole-file downloads over HTTP and HTTPS with WinHTTP, through the proxy the system or
// the user configured. The downloads of one object share one session, whose connections
// stay open between requests (keep-alive), so a run of hundreds of range requests makes
// one connection and one handshake per server. Each sends "Cache-Control:
// no-cache" and "Pragma: no-cache", verifies server certificates, follows up to 10
// redirects (WinHTTP follows only http and https), gives up connecting after 30 seconds
// and fails when the transfer stalls, but has no overall time limit. It asks for the file
// without content coding ("Accept-Encoding: identity"); WinHTTP does not decode one that a
// server applies anyway, so such a body is saved as it came.
// The blocking WinHTTP calls run on a worker thread while the calling thread makes every
// observer call, ticking at least 20 times a second also while WinHTTP waits (connecting,
// sending, awaiting the answer, reading). A stop from the observer closes the request,
// which ends the call that WinHTTP blocks in (Wine's ends only at the next data or a
// timeout), and returns at once. The stopped worker may still pass its closed handle to
// WinHTTP on its way out, and Windows reuses handle values, so the next download of this
// object opens no handle before that worker has let go of all of its own.
//
// Result codes of DownloadToFile, beside the common ones of UrlServices:
//   -(WinHTTP error)    transfer failure, e.g. -12002 timed out or stalled, -12005 bad
//                       address, -12006 unsupported scheme, -12007 host not found,
//                       -12029 connection refused, -12030 connection broken or body cut
//                       short of its declared length, -12156 too many redirects,
//                       -12175 certificate not trusted (Wine reports -12157 or -12045)
//   -(1000 + Win32 error) the local file cannot be written, e.g. -1003 folder missing,
//                       -1005 access denied, -1112 disk full
class DownloadTransfer;
class RangeTransfer;

class WinHttpUrlServices : public UrlServices {
 public:
  // `stall` decides when a transfer counts as stalled (kStalled).
  explicit WinHttpUrlServices(StallDetector::Limit stall = StallDetector::kDefaultLimit);
  // A stopped worker still running is left to end by itself.
  ~WinHttpUrlServices() override;
  WinHttpUrlServices(const WinHttpUrlServices&) = delete;
  WinHttpUrlServices& operator=(const WinHttpUrlServices&) = delete;

  // WinHTTP keeps no cache, so there is never anything to remove.
  void DeleteCacheEntry(const std::string& url) override;
  // The body streams through a fixed buffer into a temporary file beside `path`, which is
  // moved over `path` only after a complete, successful transfer.
  int32_t DownloadToFile(const std::string& url, const std::string& path,
                         TransferObserver* observer, uint64_t maxBytes) override;
  using UrlServices::DownloadToFile;
  // As DownloadToFile, but the body is kept in `partialPath` (Win32PartialFile) and a
  // later call asks only for the rest (Range with If-Range on the kept ETag or
  // Last-Modified), as UrlServices describes.
  int32_t ResumeToFile(const std::string& url, const std::string& path,
                       const std::string& partialPath, TransferObserver* observer,
                       uint64_t maxBytes) override;
  // See UrlServices; the parts pass the same worker thread and ticks as a download.
  RangeReply FetchRanges(const std::string& url, const std::vector<ByteRange>& ranges,
                         const std::string& ifRange, RangeReceiver& receiver) override;

 private:
  // Runs `url`'s exchange for `transfer` once the last stopped worker has ended.
  int32_t Exchange(const std::string& url, const std::vector<std::string>& extra,
                   DownloadTransfer& transfer);
  int32_t Exchange(const std::string& url, RangeTransfer& transfer);
  // Opens the session unless it is open; false, with the error set, when it cannot be.
  bool OpenSessionOnce();

  StallDetector::Limit stall_;
  // The worker of the last stopped download, which may still be running.
  std::thread stopped_;
  // The session every download uses; a stopped worker still running holds a share of it.
  std::shared_ptr<void> session_;
};

}  // namespace qz

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/StallDetector.h"
#include "platform/UrlServices.h"
#include "platform/posix/CurlLibrary.h"

namespace qz {

class DownloadTransfer;

// Whole-file downloads over HTTP and HTTPS with libcurl. The transfers of one object share
// one libcurl handle and with it its connections: a run that asks a server for hundreds of
// ranges opens one connection (and over https makes one handshake), not one per request.
// Each transfer starts from libcurl's defaults again and sends "Cache-Control: no-cache" and
// "Pragma: no-cache", asks for the file without content coding ("Accept-Encoding: identity") yet
// decodes gzip or deflate when a server or proxy compresses anyway, verifies server certificates,
// follows up to 10 redirects to http and https addresses only, gives up connecting after 30 seconds
// and fails when the transfer stalls, but has no overall time limit. Proxies come from the usual
// environment variables. libcurl is loaded by the first download (CurlLibrary).
//
// Result codes of DownloadToFile, beside the common ones of UrlServices:
//   -(CURLcode)         transfer failure, e.g. -1 unsupported protocol or redirect to one,
//                       -2 libcurl cannot be loaded, -6 host not found, -7 connection refused, -18
//                       body cut short, -28 no connection within 30 s, -47 too many redirects, -60
//                       certificate not trusted, -61 a content coding it cannot decode
//   -(1000 + errno)     the local file cannot be written, e.g. -1002 folder missing,
//                       -1013 permission denied, -1027 file-size limit, -1028 disk full
class CurlUrlServices : public UrlServices {
 public:
  // The receive buffer's size, libcurl's largest. Its 16 KiB default costs a sixth of the
  // throughput on a fast line in extra system calls; download_bench measured the updater's
  // CPU time per 512 MiB at 0.69 s with 16 KiB, 0.58 s with 128 KiB, 0.53 s with 256 KiB and
  // 0.49 s with 512 KiB (curl's command line: 0.62 s), for 0.5 MiB more memory. Measured
  // again (medians of five): 0.59 s with 16 KiB, 0.43 s with 64 KiB, 0.41 s with 256 KiB,
  // 0.37 s with 512 KiB, curl 0.53 s; 1.0k receives and 1.0k polls instead of 32.9k and
  // 33.3k (curl 5.4k each).
  static constexpr long kReceiveBufferBytes = 512 << 10;

  // `stall` decides when a transfer counts as stalled (kStalled); `receiveBufferBytes` is
  // how much libcurl reads from the network at once (1 KiB to 512 KiB).
  explicit CurlUrlServices(StallDetector::Limit stall = StallDetector::kDefaultLimit,
                           long receiveBufferBytes = kReceiveBufferBytes);
  ~CurlUrlServices() override;
  CurlUrlServices(const CurlUrlServices&) = delete;
  CurlUrlServices& operator=(const CurlUrlServices&) = delete;

  // libcurl keeps no cache between transfers and this class keeps no transfer, so there
  // is never anything to remove.
  void DeleteCacheEntry(const std::string& url) override;
  // The body streams into a temporary file beside `path`, which is renamed over `path`
  // (resolved case-insensitively) only after a complete, successful transfer.
  int32_t DownloadToFile(const std::string& url, const std::string& path,
                         TransferObserver* observer, uint64_t maxBytes) override;
  using UrlServices::DownloadToFile;
  // Keeps the body in `partialPath` between attempts; see UrlServices.
  int32_t ResumeToFile(const std::string& url, const std::string& path,
                       const std::string& partialPath, TransferObserver* observer,
                       uint64_t maxBytes) override;
  // See UrlServices; one request per call.
  RangeReply FetchRanges(const std::string& url, const std::vector<ByteRange>& ranges,
                         const std::string& ifRange, RangeReceiver& receiver) override;

 private:
  // A handle of the object's own, handed back (ReturnHandle) when the transfer ends.
  using Transfer = std::unique_ptr<CURL, std::function<void(CURL*)>>;

  // The idle handle reset to libcurl's defaults, or a new one; null when memory runs out.
  CURL* TakeHandle();
  // Cleans up `curl` at once unless its transfer ended with CURLE_OK and a 200 or 206.
  void DropUnlessSound(Transfer& curl, CURLcode result);
  // Keeps `curl` (and its connections) for the next transfer unless another is kept already.
  void ReturnHandle(CURL* curl);

  // Runs `transfer` with the extra request header lines `extraHeaders`.
  int32_t Perform(const std::string& url, DownloadTransfer& transfer,
                  const std::vector<std::string>& extraHeaders);

  StallDetector::Limit stall_;
  long receiveBufferBytes_;
  CurlLibrary curl_;
  // The handle between transfers, with the connections it keeps open; null before the first
  // and while a transfer runs (a transfer that finds none, on another thread, makes its own).
  std::mutex idleMutex_;
  CURL* idle_ = nullptr;
};

}  // namespace qz

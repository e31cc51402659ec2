#pragma once

#include <cstdint>
#include <string>

#include "platform/UrlServices.h"

namespace qz {

// Whole-file downloads over HTTP and HTTPS with WinHTTP, through the proxy the system or
// the user configured. Each download opens its own session, sends "Cache-Control:
// no-cache" and "Pragma: no-cache", verifies server certificates, follows up to 10
// redirects (WinHTTP follows only http and https), gives up connecting after 30 seconds
// and aborts when nothing arrives for 60 seconds, but has no overall time limit. No
// content encoding is requested, so the body arrives as the server stores it.
//
// Result codes of DownloadToFile:
//   0                   the whole body lies at the target path
//   other statuses      the server's final HTTP status when it is not 200 (a 3xx only
//                       when it was not followed)
//   -(WinHTTP error)    transfer failure, e.g. -12002 timed out or stalled, -12005 bad
//                       address, -12006 unsupported scheme, -12007 host not found,
//                       -12029 connection refused, -12030 connection broken or body cut
//                       short of its declared length, -12156 too many redirects,
//                       -12175 certificate not trusted (Wine reports -12157 or -12045)
//   -42                 the observer aborted the transfer (UrlServices::kAborted)
//   -(1000 + Win32 error) the local file cannot be written, e.g. -1003 folder missing,
//                       -1005 access denied, -1112 disk full
class WinHttpUrlServices : public UrlServices {
 public:
  // WinHTTP keeps no cache, so there is never anything to remove.
  void DeleteCacheEntry(const std::string& url) override;
  // The body streams through a fixed buffer into a temporary file beside `path`, which is
  // moved over `path` only after a complete, successful transfer; on failure the
  // temporary file is removed and `path` is untouched.
  int32_t DownloadToFile(const std::string& url, const std::string& path,
                         TransferObserver* observer) override;
  using UrlServices::DownloadToFile;
};

}  // namespace qz

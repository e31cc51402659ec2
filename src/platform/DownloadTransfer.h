#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/StallDetector.h"

namespace qz {

class TransferObserver;
class ResumableTarget;
class TransferTarget;

// The platform-neutral rules of one download, applied as a transport (libcurl, WinHTTP)
// reports the response: only an answer of 200 is the file, a body beyond the size limit
// or a stalled transfer fails with its own code, the observer sees each piece of the body,
// and the target is committed only when all went well. The transport stops the transfer
// as soon as one of the On* calls returns false, then calls Finish.
class DownloadTransfer {
 public:
  // What the transport knows of the final response (after redirects) once its headers
  // have arrived.
  struct Response {
    long status = 0;
    // Content-Length, or -1 when the server gave none.
    int64_t declaredLength = -1;
    // The server applied a content coding (gzip, ...) that the transport decodes, so the
    // declared length is not the length of the file.
    bool encoded = false;
    // The first byte of a Content-Range, or -1 without one.
    int64_t rangeStart = -1;
    // What a later attempt may resume with (ResumePlan::ValidatorOf).
    std::string validator;
    // The Content-Type and Content-Range values as sent; empty without them.
    std::string contentType;
    std::string contentRange;
  };

  DownloadTransfer(TransferTarget& target, TransferObserver* observer, uint64_t maxBytes,
                   StallDetector::Limit stall);
  // A download that continues what `target` kept when the answer is exactly the rest
  // from `resumeFrom` (a 206 from that byte), or takes the kept bytes as the whole file
  // when a 416 names `resumeFrom` as the file's length; a 200 starts it afresh. When it continues,
  // the observer first sees the kept bytes, so it always sees the whole file.
  DownloadTransfer(ResumableTarget& target, uint64_t resumeFrom, TransferObserver* observer,
                   uint64_t maxBytes, StallDetector::Limit stall);

  // The final response's headers, before its first body byte.
  bool OnResponse(const Response& response);
  // The next piece of the (decoded) body.
  bool OnBody(const char* data, size_t size);
  // Called regularly while the transfer runs, also while no data arrives where the
  // transport allows (libcurl: at least once a second); a transport that blocks in a read
  // should give that read a timeout of the stall window and report its expiry as kStalled.
  bool OnTick(int64_t nowMilliseconds);

  // Ends the transfer and returns its result code (see UrlServices). `transportCode` is 0
  // when the transport received the whole answer, else its own failure code; `response`
  // describes the final answer (a body-less 204 reaches only this call).
  int32_t Finish(int32_t transportCode, const Response& response);

  // Body bytes written to the target so far.
  uint64_t Received() const { return received_; }

  // True when the kept bytes could not be continued (a 416 that does not confirm them, or a 206
  // that is not the rest of the same file) and were dropped: the transport asks again for the whole
  // file, in a new transfer, so that such a part never fails the download by itself.
  bool StartsOver() const { return startsOver_; }

 private:
  bool Stop(int32_t code);
  bool Resume(const Response& response);
  bool ContinuesKept(const Response& response) const;
  bool KeptIsWhole(const Response& response) const;
  bool TakeKeptAsWhole();
  // The kept bytes pass the observer as if they had just arrived.
  bool ReplayKept();
  bool DropKept(long status);
  bool Observe(const char* data, size_t size);
  static int32_t StatusFailure(long status);

  TransferTarget& target_;
  TransferObserver* observer_;
  ResumableTarget* resumable_ = nullptr;
  uint64_t resumeFrom_ = 0;
  uint64_t maxBytes_;
  StallDetector stall_;
  bool responseSeen_ = false;
  int64_t expected_ = -1;
  uint64_t received_ = 0;
  int32_t stopCode_ = 0;
  bool startsOver_ = false;
  // A 416 confirmed the kept bytes as the whole file: the answer's body is its error page.
  bool keptWhole_ = false;
};

}  // namespace qz

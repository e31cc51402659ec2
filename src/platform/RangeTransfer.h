#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ByteRange.h"
#include "platform/DownloadTransfer.h"
#include "platform/RangeReceiver.h"
#include "platform/RangeReply.h"
#include "platform/StallDetector.h"

namespace qz {

class MultipartByteRanges;

// The platform-neutral rules of one range request, applied as a transport (libcurl,
// WinHTTP) reports the answer: a 206 is one part (its Content-Range) or a
// multipart/byteranges body, each part checked against its own Content-Range and against
// the span asked for; a 206 under another validator than If-Range named, or with a content
// coding, is refused; a 200 to several ranges is refused before its body is read; a 200
// to one range is the whole file. A multipart body is over at its closing delimiter: the
// transfer stops if more follows. No exception leaves an On* call (one that arises stops
// the transfer with kAborted). The transport stops as soon as an On* call returns false,
// then calls Finish.
class RangeTransfer : private RangeReceiver {
 public:
  // `ranges` (not empty; a suffix range only alone) in the order they are asked for;
  // `ifRange` is a validator the answer must match, or empty.
  RangeTransfer(std::vector<ByteRange> ranges, std::string ifRange, RangeReceiver& receiver,
                StallDetector::Limit stall);
  ~RangeTransfer() override;
  RangeTransfer(const RangeTransfer&) = delete;
  RangeTransfer& operator=(const RangeTransfer&) = delete;

  // The request header lines ("Name: value"): Range, and If-Range when given.
  std::vector<std::string> RequestHeaders() const;

  bool OnResponse(const DownloadTransfer::Response& response);
  bool OnBody(const char* data, size_t size);
  bool OnTick(int64_t nowMilliseconds);

  // Ends the transfer: `transportCode` is 0 when the transport received the whole answer,
  // else its own failure code; `response` describes the final answer when no body came.
  RangeReply Finish(int32_t transportCode, const DownloadTransfer::Response& response);

 private:
  enum class Shape { kNone, kWhole, kSingle, kMultipart };

  bool Respond(const DownloadTransfer::Response& response);
  bool Body(const char* data, size_t size);
  bool OnPart(const ByteRange& part) override;
  bool OnBytes(uint64_t offset, const char* data, size_t size) override;
  bool WithinRequest(const ByteRange& part) const;
  bool StartPartial(const DownloadTransfer::Response& response);
  bool BodyOfSingle(const char* data, size_t size);
  bool BodyOfMultipart(const char* data, size_t size);
  bool Complete() const;
  // True while no more than the answer's declared length (Content-Length) has arrived.
  bool WithinDeclaredLength() const;
  bool Stop(int32_t code);

  std::vector<ByteRange> ranges_;
  std::string ifRange_;
  RangeReceiver& receiver_;
  StallDetector stall_;
  ByteRange span_;
  Shape shape_ = Shape::kNone;
  std::unique_ptr<MultipartByteRanges> multipart_;
  RangeReply reply_;
  bool responseSeen_ = false;
  uint64_t next_ = 0;
  uint64_t partLeft_ = 0;
  uint64_t received_ = 0;
  // The body's Content-Length; -1 without one or for a coded body.
  int64_t declaredLength_ = -1;
  int32_t stopCode_ = 0;
  // The multipart body was complete and the transfer stopped for what came after it.
  bool ended_ = false;
};

}  // namespace qz

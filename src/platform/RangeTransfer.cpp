#include "platform/RangeTransfer.h"

#include <algorithm>

#include "platform/MultipartByteRanges.h"
#include "platform/UrlServices.h"

namespace qz {
namespace {

constexpr long kOk = 200;
constexpr long kPartial = 206;
constexpr long kLowestStatus = 100;
constexpr long kHighestStatus = 999;

ByteRange SpanOf(const std::vector<ByteRange>& ranges) {
  ByteRange span = ranges.front();
  for (const ByteRange& range : ranges) {
    span.first = std::min(span.first, range.first);
    span.last = std::max(span.last, range.last);
  }
  return span;
}

}  // namespace

RangeTransfer::RangeTransfer(std::vector<ByteRange> ranges, std::string ifRange,
                             RangeReceiver& receiver, StallDetector::Limit stall)
    : ranges_(std::move(ranges)),
      ifRange_(std::move(ifRange)),
      receiver_(receiver),
      stall_(stall),
      span_(SpanOf(ranges_)) {}

RangeTransfer::~RangeTransfer() = default;

std::vector<std::string> RangeTransfer::RequestHeaders() const {
  std::vector<std::string> lines{"Range: " + ByteRange::RangeHeaderValue(ranges_)};
  if (!ifRange_.empty()) lines.push_back("If-Range: " + ifRange_);
  return lines;
}

bool RangeTransfer::OnResponse(const DownloadTransfer::Response& response) {
  try {
    return Respond(response);
  } catch (...) {
    // Nothing may unwind through the transport; running out of memory ends the transfer.
    return Stop(UrlServices::kAborted);
  }
}

bool RangeTransfer::Respond(const DownloadTransfer::Response& response) {
  responseSeen_ = true;
  declaredLength_ = response.encoded ? -1 : response.declaredLength;
  reply_.status = response.status;
  reply_.validator = response.validator;
  if (response.status == kPartial) return StartPartial(response);
  if (response.status != kOk) {
    const bool known = response.status >= kLowestStatus && response.status <= kHighestStatus;
    return Stop(known ? static_cast<int32_t>(response.status) : UrlServices::kInvalidReply);
  }
  reply_.totalLength = response.encoded ? -1 : response.declaredLength;
  // Reading a whole file that came instead of scattered parts would cost a full download.
  if (ranges_.size() > 1) return Stop(UrlServices::kRangesRefused);
  shape_ = Shape::kWhole;
  const uint64_t last = reply_.totalLength > 0 ? static_cast<uint64_t>(reply_.totalLength) - 1
                                               : RangeReceiver::kUnknownLast;
  if (!receiver_.OnPart(ByteRange{0, last})) return Stop(UrlServices::kAborted);
  return true;
}

bool RangeTransfer::StartPartial(const DownloadTransfer::Response& response) {
  // Parts of a coded body are not the file's bytes.
  if (response.encoded) return Stop(UrlServices::kInvalidReply);
  if (!ifRange_.empty() && !response.validator.empty() && response.validator != ifRange_) {
    return Stop(UrlServices::kValidatorChanged);
  }
  const std::string boundary = MultipartByteRanges::BoundaryOf(response.contentType);
  if (!boundary.empty()) {
    shape_ = Shape::kMultipart;
    RangeReceiver& checked = *this;
    multipart_ = std::make_unique<MultipartByteRanges>(boundary, checked);
    return true;
  }
  ByteRange part;
  if (!ByteRange::ParseContentRange(response.contentRange, part, reply_.totalLength)) {
    return Stop(UrlServices::kInvalidReply);
  }
  shape_ = Shape::kSingle;
  return OnPart(part);
}

// Parts reach the caller's receiver only when they lie within what was asked for, so a
// server's stray bytes never count as the file's.
bool RangeTransfer::OnPart(const ByteRange& part) {
  if (!WithinRequest(part)) return Stop(UrlServices::kInvalidReply);
  next_ = part.first;
  partLeft_ = part.Length();
  if (!receiver_.OnPart(part)) return Stop(UrlServices::kAborted);
  return true;
}

bool RangeTransfer::WithinRequest(const ByteRange& part) const {
  const uint64_t suffix = ranges_.front().suffixLength;
  if (suffix == 0) return part.first >= span_.first && part.last <= span_.last;
  const int64_t total = multipart_ ? multipart_->TotalLength() : reply_.totalLength;
  return total >= 0 && part.last + 1 == static_cast<uint64_t>(total) && part.Length() <= suffix;
}

bool RangeTransfer::OnBytes(uint64_t offset, const char* data, size_t size) {
  if (!receiver_.OnBytes(offset, data, size)) return Stop(UrlServices::kAborted);
  return true;
}

bool RangeTransfer::OnBody(const char* data, size_t size) {
  if (stopCode_ != 0 || ended_) return false;
  try {
    return Body(data, size);
  } catch (...) {
    return Stop(UrlServices::kAborted);
  }
}

bool RangeTransfer::Body(const char* data, size_t size) {
  received_ += size;
  switch (shape_) {
    case Shape::kWhole:
      next_ += size;
      return OnBytes(next_ - size, data, size);
    case Shape::kSingle:
      return BodyOfSingle(data, size);
    case Shape::kMultipart:
      return BodyOfMultipart(data, size);
    case Shape::kNone:
      break;
  }
  return Stop(UrlServices::kInvalidReply);
}

bool RangeTransfer::BodyOfSingle(const char* data, size_t size) {
  if (size > partLeft_) return Stop(UrlServices::kInvalidReply);
  partLeft_ -= size;
  next_ += size;
  return OnBytes(next_ - size, data, size);
}

bool RangeTransfer::BodyOfMultipart(const char* data, size_t size) {
  // Whatever follows the closing delimiter in later pieces is not waited for: a body that
  // goes on after it would otherwise keep the transfer alive for ever.
  if (multipart_->Current() == MultipartByteRanges::State::kComplete) {
    // An epilogue within the declared length is read, so the connection stays usable.
    if (WithinDeclaredLength()) return true;
    ended_ = true;
    return false;
  }
  if (multipart_->Feed(data, size)) return true;
  // The receiver's own stop already set the code.
  if (stopCode_ != 0) return false;
  return Stop(UrlServices::kInvalidReply);
}

bool RangeTransfer::OnTick(int64_t nowMilliseconds) {
  if (stopCode_ != 0 || ended_) return false;
  // A complete body that the transport is about to finish (it ends at its declared length)
  // is left to it: stopping it now would close a connection that the next request can use.
  if (shape_ != Shape::kWhole && Complete() && WithinDeclaredLength()) return true;
  if (Complete() && shape_ == Shape::kMultipart) {
    ended_ = true;
    return false;
  }
  if (stall_.Stalled(nowMilliseconds, received_)) return Stop(UrlServices::kStalled);
  try {
    if (!receiver_.OnTick()) return Stop(UrlServices::kAborted);
  } catch (...) {
    return Stop(UrlServices::kAborted);
  }
  return true;
}

RangeReply RangeTransfer::Finish(int32_t transportCode,
                                 const DownloadTransfer::Response& response) {
  if (stopCode_ == 0 && transportCode == 0 && !responseSeen_) OnResponse(response);
  // Our own reason for stopping explains the transport's failure that followed it.
  if (ended_) {
    reply_.code = 0;
  } else if (stopCode_ != 0) {
    reply_.code = stopCode_;
  } else if (transportCode != 0) {
    reply_.code = transportCode;
  } else if (!Complete()) {
    reply_.code = UrlServices::kInvalidReply;
  }
  if (multipart_ && reply_.totalLength < 0) reply_.totalLength = multipart_->TotalLength();
  return reply_;
}

bool RangeTransfer::Complete() const {
  switch (shape_) {
    case Shape::kWhole:
      return true;
    case Shape::kSingle:
      return partLeft_ == 0;
    case Shape::kMultipart:
      return multipart_->Current() == MultipartByteRanges::State::kComplete;
    case Shape::kNone:
      break;
  }
  return false;
}

bool RangeTransfer::WithinDeclaredLength() const {
  return declaredLength_ >= 0 && received_ <= static_cast<uint64_t>(declaredLength_);
}

bool RangeTransfer::Stop(int32_t code) {
  if (stopCode_ == 0) stopCode_ = code;
  return false;
}

}  // namespace qz

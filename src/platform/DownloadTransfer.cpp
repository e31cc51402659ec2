#include "platform/DownloadTransfer.h"

#include "platform/ByteRange.h"
#include "platform/ResumableTarget.h"
#include "platform/TransferObserver.h"
#include "platform/TransferTarget.h"
#include "platform/UrlServices.h"

namespace qz {
namespace {

constexpr long kOk = 200;
constexpr long kPartial = 206;
constexpr long kRangeNotSatisfiable = 416;
constexpr long kLowestStatus = 100;
constexpr long kHighestStatus = 999;

}  // namespace

DownloadTransfer::DownloadTransfer(TransferTarget& target, TransferObserver* observer,
                                   uint64_t maxBytes, StallDetector::Limit stall)
    : target_(target), observer_(observer), maxBytes_(maxBytes), stall_(stall) {}

DownloadTransfer::DownloadTransfer(ResumableTarget& target, uint64_t resumeFrom,
                                   TransferObserver* observer, uint64_t maxBytes,
                                   StallDetector::Limit stall)
    : target_(target),
      observer_(observer),
      resumable_(&target),
      resumeFrom_(resumeFrom),
      maxBytes_(maxBytes),
      stall_(stall) {}

bool DownloadTransfer::OnResponse(const Response& response) {
  responseSeen_ = true;
  if (resumeFrom_ > 0 && response.status == kPartial) {
    return ContinuesKept(response) ? Resume(response) : DropKept(response.status);
  }
  if (resumeFrom_ > 0 && response.status == kRangeNotSatisfiable) {
    // Kept bytes that the server cannot continue (the file shrank, or another file of the
    // same validator) would fail every later attempt the same way.
    return KeptIsWhole(response) ? TakeKeptAsWhole() : DropKept(response.status);
  }
  if (response.status != kOk) return Stop(StatusFailure(response.status));
  if (resumable_ != nullptr) {
    if (int error = resumable_->StartOver(response.validator)) {
      return Stop(UrlServices::LocalFailure(error));
    }
  }
  expected_ = response.encoded ? -1 : response.declaredLength;
  if (expected_ > 0 && static_cast<uint64_t>(expected_) > maxBytes_) {
    return Stop(UrlServices::kTooLarge);
  }
  return true;
}

bool DownloadTransfer::OnBody(const char* data, size_t size) {
  if (stopCode_ != 0) return false;
  if (keptWhole_) return true;
  if (size > maxBytes_ - received_) return Stop(UrlServices::kTooLarge);
  if (int error = target_.Write(data, size)) return Stop(UrlServices::LocalFailure(error));
  return Observe(data, size);
}

bool DownloadTransfer::Observe(const char* data, size_t size) {
  received_ += size;
  if (observer_ != nullptr && !observer_->OnData(data, size, received_, expected_)) {
    return Stop(UrlServices::kAborted);
  }
  return true;
}

// The exact rest of the file that the kept bytes came from. A server may ignore If-Range,
// so the answer's own validator must match the kept one where it has one.
bool DownloadTransfer::ContinuesKept(const Response& response) const {
  return response.rangeStart >= 0 && static_cast<uint64_t>(response.rangeStart) == resumeFrom_ &&
         !response.encoded &&
         (response.validator.empty() || response.validator == resumable_->Validator());
}

bool DownloadTransfer::DropKept(long status) {
  if (int error = resumable_->StartOver("")) return Stop(UrlServices::LocalFailure(error));
  startsOver_ = true;
  return Stop(StatusFailure(status));
}

// A server that honours If-Range answers 416 only while its file is the kept one, and then
// names its length; one that sends its validator must send the kept one.
bool DownloadTransfer::KeptIsWhole(const Response& response) const {
  return ByteRange::UnsatisfiedLength(response.contentRange) ==
             static_cast<int64_t>(resumeFrom_) &&
         (response.validator.empty() || response.validator == resumable_->Validator());
}

bool DownloadTransfer::TakeKeptAsWhole() {
  keptWhole_ = true;
  expected_ = static_cast<int64_t>(resumeFrom_);
  if (resumeFrom_ > maxBytes_) return Stop(UrlServices::kTooLarge);
  return ReplayKept();
}

// The kept bytes count as received and pass the observer as if they had just arrived.
bool DownloadTransfer::Resume(const Response& response) {
  expected_ = response.declaredLength < 0 ? -1 : response.declaredLength + response.rangeStart;
  if (expected_ > 0 && static_cast<uint64_t>(expected_) > maxBytes_) {
    return Stop(UrlServices::kTooLarge);
  }
  return ReplayKept();
}

bool DownloadTransfer::ReplayKept() {
  int error =
      resumable_->ReadBack([this](const char* data, size_t size) { return Observe(data, size); });
  if (error != 0) return Stop(UrlServices::LocalFailure(error));
  return stopCode_ == 0;
}

bool DownloadTransfer::OnTick(int64_t nowMilliseconds) {
  if (stopCode_ != 0) return false;
  if (stall_.Stalled(nowMilliseconds, received_)) return Stop(UrlServices::kStalled);
  if (observer_ != nullptr && !observer_->OnTick()) return Stop(UrlServices::kAborted);
  return true;
}

int32_t DownloadTransfer::Finish(int32_t transportCode, const Response& response) {
  // Our own reason for stopping explains the transport's failure that followed it.
  if (stopCode_ != 0) return stopCode_;
  if (transportCode != 0) return transportCode;
  if (!responseSeen_ && !OnResponse(response)) return stopCode_;
  if (int error = target_.Commit()) return UrlServices::LocalFailure(error);
  return 0;
}

bool DownloadTransfer::Stop(int32_t code) {
  stopCode_ = code;
  return false;
}

int32_t DownloadTransfer::StatusFailure(long status) {
  if (status < kLowestStatus || status > kHighestStatus) return UrlServices::kInvalidReply;
  return static_cast<int32_t>(status);
}

}  // namespace qz

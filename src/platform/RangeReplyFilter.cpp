#include "platform/RangeReplyFilter.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <new>

#include "platform/RangeSink.h"

namespace qz {
namespace {

// Bytes of `range` that `parts` already hold.
uint64_t Held(const std::map<uint64_t, uint64_t>& parts, const ByteRange& range) {
  uint64_t held = 0;
  auto at = parts.upper_bound(range.first);
  if (at != parts.begin()) --at;
  for (; at != parts.end() && at->first <= range.last; ++at) {
    const uint64_t first = std::max(at->first, range.first);
    const uint64_t last = std::min(at->second, range.last);
    if (first <= last) held += last - first + 1;
  }
  return held;
}

}  // namespace

RangeReplyFilter::RangeReplyFilter(const std::vector<ByteRange>& asked,
                                   const std::map<uint64_t, uint64_t>& arrived, RangeSink& sink)
    : asked_(asked), arrived_(arrived), sink_(sink) {
  for (const ByteRange& range : asked_) {
    if (range.suffixLength != 0) {
      askedBytes_ += range.suffixLength;
      // A suffix is complete with its one part, whatever length the file gives it.
      missing_ += arrived_.empty() ? 1 : 0;
    } else {
      askedBytes_ += range.Length();
      missing_ += range.Length() - Held(arrived_, range);
    }
  }
}

bool RangeReplyFilter::OnPart(const ByteRange& part) {
  delivering_ = false;
  if (Finished()) return false;
  const uint64_t length = part.last == kUnknownLast ? kUnknownLast : part.Length();
  offered_ += std::min(length, askedBytes_ + kSlackBytes + 1);
  if (offered_ > askedBytes_ + kSlackBytes || ++partsOffered_ > asked_.size() + kSlackParts) {
    overrun_ = true;
    return false;
  }
  if (!Wanted(part)) return true;
  return Deliver(part);
}

bool RangeReplyFilter::Wanted(const ByteRange& part) const {
  if (part.last == kUnknownLast || Overlaps(arrived_, part) || Overlaps(delivered_, part)) {
    return false;
  }
  if (asked_.front().suffixLength != 0) return delivered_.empty();
  auto after = std::upper_bound(asked_.begin(), asked_.end(), part.first,
                                [](uint64_t first, const ByteRange& r) { return first < r.first; });
  if (after == asked_.begin()) return false;
  return part.last <= std::prev(after)->last;
}

bool RangeReplyFilter::Overlaps(const std::map<uint64_t, uint64_t>& parts, const ByteRange& part) {
  auto after = parts.upper_bound(part.last);
  return after != parts.begin() && std::prev(after)->second >= part.first;
}

bool RangeReplyFilter::CallSink(const std::function<bool()>& call) {
  try {
    if (call()) return true;
    cancelled_ = true;
    return false;
  } catch (const std::bad_alloc&) {
    return Fail("not enough memory for the parts");
  } catch (const std::exception& error) {
    return Fail(error.what());
  } catch (...) {
    return Fail("the parts cannot be kept");
  }
}

bool RangeReplyFilter::Deliver(const ByteRange& part) {
  if (!CallSink([&] { return sink_.OnPart(part); })) return false;
  current_ = part;
  currentLeft_ = part.Length();
  delivering_ = true;
  return true;
}

bool RangeReplyFilter::OnBytes(uint64_t offset, const char* data, size_t size) {
  if (!delivering_) return true;
  return DeliverBytes(offset, data, size);
}

bool RangeReplyFilter::DeliverBytes(uint64_t offset, const char* data, size_t size) {
  if (!CallSink([&] { return sink_.OnBytes(offset, data, size); })) return false;
  currentLeft_ -= std::min<uint64_t>(size, currentLeft_);
  if (currentLeft_ == 0) {
    delivering_ = false;
    delivered_[current_.first] = current_.last;
    missing_ -= asked_.front().suffixLength != 0 ? missing_ : current_.Length();
  }
  return true;
}

bool RangeReplyFilter::OnTick() {
  if (Finished()) return false;
  try {
    if (!sink_.OnTick()) cancelled_ = true;
  } catch (...) {
    return Fail("the transfer's observer failed");
  }
  return !cancelled_;
}

bool RangeReplyFilter::Fail(const std::string& why) {
  if (failure_.empty()) failure_ = why;
  return false;
}

}  // namespace qz

#include "pagedelta/PageRangeFetch.h"

#include <algorithm>

#include "delta/PartCollector.h"
#include "platform/Error.h"
#include "platform/UrlServices.h"

namespace qz {
namespace {

[[noreturn]] void Failed(const std::string& why) {
  throw Error(Error::kInternalError, why, "PageRangeFetch");
}

}  // namespace

PageRangeFetch::PageRangeFetch(UrlServices& urls, std::string url)
    : urls_(urls), url_(std::move(url)) {}

void PageRangeFetch::Fetch(const std::vector<ByteRange>& ranges, PartCollector& parts) {
  auto missing = [&] {
    std::vector<ByteRange> left;
    for (const ByteRange& range : ranges) {
      if (parts.Slice(range).empty()) left.push_back(range);
    }
    return left;
  };
  for (std::vector<ByteRange> left = missing(); !left.empty();) {
    const size_t count = std::min(perRequest_, left.size());
    const std::vector<ByteRange> batch(left.begin(), left.begin() + count);
    try {
      Ask(batch, parts);
    } catch (const Error&) {
      if (count == 1 || cancelled_ || changed_ || perRequest_ != 1) throw;
      continue;  // asked again one range at a time
    }
    std::vector<ByteRange> after = missing();
    const size_t answered = left.size() - after.size();
    if (answered == 0) Failed("the server left out every part that was asked for");
    // A server that caps the parts of one answer gets no more than it answered.
    if (answered < count) perRequest_ = answered;
    left = std::move(after);
  }
}

void PageRangeFetch::Ask(const std::vector<ByteRange>& ranges, PartCollector& parts) {
  const uint64_t before = parts.Received();
  const RangeReply reply = urls_.FetchRanges(url_, ranges, validator_, parts);
  ++requests_;
  received_ += parts.Received() - before;
  cancelled_ = parts.Cancelled();
  if (cancelled_) Failed("cancelled");
  if (reply.code != 0 || reply.status != 206) {
    changed_ = reply.code == UrlServices::kValidatorChanged ||
               (!validator_.empty() && !reply.validator.empty() && reply.validator != validator_);
    const bool multipartFailed =
        reply.code == UrlServices::kRangesRefused || reply.code == UrlServices::kInvalidReply;
    if (multipartFailed && ranges.size() > 1 && !changed_) perRequest_ = 1;
    Failed(Reason(reply));
  }
  if (reply.validator.empty() || reply.totalLength < 0) {
    Failed("the server gives no validator or length for " + url_);
  }
  if (validator_.empty()) validator_ = reply.validator;
  if (length_ == 0) length_ = static_cast<uint64_t>(reply.totalLength);
  if (reply.validator != validator_ || reply.totalLength != static_cast<int64_t>(length_)) {
    changed_ = true;
    Failed("the file changed on the server");
  }
}

std::string PageRangeFetch::Reason(const RangeReply& reply) const {
  if (changed_) return "the file changed on the server";
  if (reply.code == UrlServices::kRangesRefused) {
    return "the server answers several ranges with the whole file";
  }
  if (reply.status == 200) return "the server ignores ranges";
  if (reply.code == UrlServices::kInvalidReply) {
    return "the server's parts do not match what was asked for";
  }
  return "a range request failed with " +
         std::to_string(reply.code != 0 ? reply.code : reply.status);
}

}  // namespace qz

#include "platform/BatchedRangeFetch.h"

#include <algorithm>

#include "platform/RangeReplyFilter.h"
#include "platform/RangeSink.h"
#include "platform/UrlServices.h"

namespace qz {
namespace {

constexpr long kPartial = 206;

}  // namespace

BatchedRangeFetch::BatchedRangeFetch(UrlServices& urls, std::string url, std::string ifRange,
                                     int64_t totalLength)
    : urls_(urls), url_(std::move(url)) {
  outcome_.validator = std::move(ifRange);
  outcome_.totalLength = totalLength;
}

BatchedRangeFetch::Outcome BatchedRangeFetch::Fetch(const std::vector<ByteRange>& ranges,
                                                    RangeSink& sink, size_t rangesPerRequest) {
  Outcome outcome;
  outcome.validator = outcome_.validator;
  outcome.totalLength = outcome_.totalLength;
  outcome.rangesPerRequest = std::max<size_t>(1, rangesPerRequest);
  outcome_ = outcome;
  arrived_.clear();
  for (;;) {
    const std::vector<ByteRange> missing = Missing(ranges);
    if (missing.empty()) {
      outcome_.result = Result::kDone;
      break;
    }
    const size_t count = std::min(outcome_.rangesPerRequest, missing.size());
    const std::vector<ByteRange> batch(missing.begin(), missing.begin() + count);
    RangeReplyFilter filter(batch, arrived_, sink);
    const RangeReply reply = urls_.FetchRanges(url_, batch, outcome_.validator, filter);
    ++outcome_.requests;
    if (!Judge(batch, reply, filter, sink)) break;
  }
  return outcome_;
}

std::vector<ByteRange> BatchedRangeFetch::Missing(const std::vector<ByteRange>& ranges) const {
  std::vector<ByteRange> missing;
  for (const ByteRange& range : ranges) {
    if (range.suffixLength != 0) {
      if (arrived_.empty()) missing.push_back(range);
      continue;
    }
    uint64_t next = range.first;
    bool covered = false;
    auto at = arrived_.upper_bound(range.first);
    if (at != arrived_.begin()) --at;
    for (; at != arrived_.end() && at->first <= range.last && !covered; ++at) {
      if (at->second < next) continue;
      if (at->first > next) missing.push_back({next, at->first - 1});
      covered = at->second >= range.last;
      next = at->second + 1;
    }
    if (!covered) missing.push_back({next, range.last});
  }
  return missing;
}

bool BatchedRangeFetch::Judge(const std::vector<ByteRange>& batch, const RangeReply& reply,
                              const RangeReplyFilter& filter, RangeSink& sink) {
  // A reply stopped because everything asked for had arrived ended as it should.
  const bool finished = filter.Finished() && reply.code == UrlServices::kAborted;
  const bool sameFile = reply.status == kPartial && !Changed(reply) &&
                        (outcome_.totalLength < 0 || reply.totalLength == outcome_.totalLength);
  const bool sound = sameFile && (reply.code == 0 || finished);
  // The whole parts of a reply the user cancelled are as good as those of a complete one.
  sink.OnReplyEnd(sound || (sameFile && filter.Cancelled()));
  if (filter.Cancelled()) return End(Result::kCancelled, "cancelled");
  if (!filter.Failure().empty()) return End(Result::kFailed, filter.Failure());
  if (Changed(reply)) return End(Result::kChanged, "the file changed on the server");
  if (!sound) {
    // Servers that answer several ranges with the whole file, or with a broken multipart
    // body (some give each part a total length of 0), still serve one range at a time.
    const bool multipartFailed =
        reply.code == UrlServices::kRangesRefused || reply.code == UrlServices::kInvalidReply;
    if (multipartFailed && batch.size() > 1 && !filter.Overrun()) {
      outcome_.rangesPerRequest = 1;
      outcome_.oneAtATime = true;
      return true;
    }
    return End(Result::kFailed, Reason(reply, filter.Overrun()));
  }
  if (outcome_.validator.empty()) outcome_.validator = reply.validator;
  if (outcome_.totalLength < 0) outcome_.totalLength = reply.totalLength;
  const size_t parts = filter.Delivered().size();
  for (const auto& [first, last] : filter.Delivered()) {
    arrived_[first] = last;
    outcome_.bytes += last - first + 1;
  }
  if (parts == 0) return End(Result::kFailed, "the server sent none of the parts asked for");
  if (parts < batch.size()) {
    outcome_.fewerParts = true;
    outcome_.rangesPerRequest = std::min(outcome_.rangesPerRequest, parts);
  }
  return true;
}

bool BatchedRangeFetch::Changed(const RangeReply& reply) const {
  const std::string& validator = outcome_.validator;
  return reply.code == UrlServices::kValidatorChanged ||
         (!validator.empty() && !reply.validator.empty() && reply.validator != validator) ||
         (outcome_.totalLength >= 0 && reply.totalLength >= 0 && reply.status == kPartial &&
          reply.totalLength != outcome_.totalLength);
}

bool BatchedRangeFetch::End(Result result, const std::string& reason) {
  outcome_.result = result;
  outcome_.reason = reason;
  return false;
}

std::string BatchedRangeFetch::Reason(const RangeReply& reply, bool overrun) const {
  if (reply.code == UrlServices::kRangesRefused) {
    return "the server answers several ranges with the whole file";
  }
  if (reply.status == 200) return "the server ignores ranges";
  if (overrun) return "the server sends more than was asked for";
  if (reply.code == UrlServices::kInvalidReply) {
    return "the server's parts do not match what was asked for";
  }
  return "a range request failed with " +
         std::to_string(reply.code != 0 ? reply.code : reply.status);
}

}  // namespace qz

#include "pagedelta/PageRangeFetch.h"

#include "delta/PartCollector.h"
#include "platform/BatchedRangeFetch.h"
#include "platform/Error.h"

namespace qz {

PageRangeFetch::PageRangeFetch(UrlServices& urls, std::string url)
    : urls_(urls), url_(std::move(url)) {}

void PageRangeFetch::Fetch(const std::vector<ByteRange>& ranges, PartCollector& parts) {
  std::vector<ByteRange> missing;
  for (const ByteRange& range : ranges) {
    if (parts.Slice(range).empty()) missing.push_back(range);
  }
  if (missing.empty()) return;
  BatchedRangeFetch fetch(urls_, url_, validator_,
                          length_ == 0 ? -1 : static_cast<int64_t>(length_));
  const uint64_t before = parts.Received();
  const BatchedRangeFetch::Outcome outcome = fetch.Fetch(missing, parts, perRequest_);
  requests_ += outcome.requests;
  received_ += parts.Received() - before;
  // What the server was seen to honour holds for this fetch's later calls too.
  if (outcome.rangesPerRequest > 0) perRequest_ = outcome.rangesPerRequest;
  cancelled_ = outcome.result == BatchedRangeFetch::Result::kCancelled;
  changed_ = outcome.result == BatchedRangeFetch::Result::kChanged;
  if (outcome.result != BatchedRangeFetch::Result::kDone) {
    throw Error(Error::kInternalError, outcome.reason, "PageRangeFetch");
  }
  if (outcome.validator.empty() || outcome.totalLength < 0) {
    throw Error(Error::kInternalError, "the server gives no validator or length for " + url_,
                "PageRangeFetch");
  }
  validator_ = outcome.validator;
  length_ = static_cast<uint64_t>(outcome.totalLength);
}

}  // namespace qz

#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/ByteRange.h"
#include "platform/RangeReply.h"

namespace qz {

class RangeReplyFilter;
class RangeSink;
class UrlServices;

// Fetches many ranges of one file with as few requests as its server allows. Ranges go out
// in batches; each reply is checked as it arrives (RangeReplyFilter) and judged when it
// ends. A server that answers fewer parts than asked (a limit on ranges per request, a
// 206 for the first range only) is asked for the rest in batches no larger than what it
// returned, down to one range per request; one whose multipart answers break, or that
// answers several ranges with the whole file, is asked one range at a time. No byte that
// arrived in an accepted reply is asked for again. Anything else ends the fetch with the
// reason, for the caller to download the whole file instead.
class BatchedRangeFetch {
 public:
  static constexpr size_t kRangesPerRequest = 32;

  enum class Result { kDone, kFailed, kChanged, kCancelled };

  struct Outcome {
    Result result = Result::kFailed;
    // Why the fetch did not complete (kFailed, kChanged, kCancelled).
    std::string reason;
    int requests = 0;
    // Part bytes of accepted replies.
    uint64_t bytes = 0;
    // Ranges per request at the end: what the server was seen to honour.
    size_t rangesPerRequest = 0;
    // A reply held fewer parts than asked for, so later batches were smaller.
    bool fewerParts = false;
    // A multipart reply was broken or refused, so ranges were asked for one at a time.
    bool oneAtATime = false;
    // The file's validator and length as the replies gave them (or as given).
    std::string validator;
    int64_t totalLength = -1;
  };

  // `ifRange`: the validator every reply must carry (empty: the first reply's, which later
  // requests then name in If-Range); `totalLength`: the file's length every reply must
  // give (-1: the first reply's).
  BatchedRangeFetch(UrlServices& urls, std::string url, std::string ifRange, int64_t totalLength);

  // Fetches `ranges` (not empty; sorted and disjoint, or one suffix range) into `sink`, at
  // most `rangesPerRequest` per request. kDone when every byte of them arrived in accepted
  // replies; kChanged when a reply came from another version of the file; kCancelled
  // when the sink stopped a transfer.
  Outcome Fetch(const std::vector<ByteRange>& ranges, RangeSink& sink,
                size_t rangesPerRequest = kRangesPerRequest);

 private:
  // What of `ranges` has not arrived yet.
  std::vector<ByteRange> Missing(const std::vector<ByteRange>& ranges) const;
  // Judges one reply to `batch`; false ends the fetch with outcome_ set.
  bool Judge(const std::vector<ByteRange>& batch, const RangeReply& reply,
             const RangeReplyFilter& filter, RangeSink& sink);
  bool Changed(const RangeReply& reply) const;
  bool End(Result result, const std::string& reason);
  std::string Reason(const RangeReply& reply, bool overrun) const;

  UrlServices& urls_;
  std::string url_;
  std::map<uint64_t, uint64_t> arrived_;
  Outcome outcome_;
};

}  // namespace qz

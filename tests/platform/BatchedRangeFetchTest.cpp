#include "platform/BatchedRangeFetch.h"

#include <gtest/gtest.h>

#include <map>
#include <new>
#include <string>
#include <vector>

#include "platform/RangeSink.h"
#include "platform/UrlServices.h"
#include "support/PatternBytes.h"
#include "support/RealPlatform.h"
#include "support/ScriptedRanges.h"
#include "support/TestServer.h"

namespace qz {
namespace {

using test::ScriptedRanges;
using test::TestServer;

using test::PatternBytes;

// Keeps the parts of accepted replies, failing the test when a byte arrives twice; throws
// std::bad_alloc once more than `limit` bytes were handed to it, as a collector that runs
// out of memory does.
class CheckedSink : public RangeSink {
 public:
  explicit CheckedSink(uint64_t limit = UINT64_MAX) : limit_(limit) {}

  bool OnPart(const ByteRange& part) override {
    current_ = part.first;
    pending_[part.first];
    return true;
  }
  bool OnBytes(uint64_t, const char* data, size_t size) override {
    handed_ += size;
    if (handed_ > limit_) throw std::bad_alloc();
    pending_[current_].append(data, size);
    return true;
  }
  void OnReplyEnd(bool accepted) override {
    if (accepted) {
      for (auto& [first, bytes] : pending_) {
        EXPECT_EQ(parts.count(first), 0u) << first;
        parts[first] = bytes;
      }
    }
    pending_.clear();
  }

  std::map<uint64_t, std::string> parts;

 private:
  uint64_t limit_;
  uint64_t handed_ = 0;
  uint64_t current_ = 0;
  std::map<uint64_t, std::string> pending_;
};

TEST(BatchedRangeFetchTest, AsksForWhatAServerLeftOutInBatchesItAnswersWhole) {
  const std::string file = PatternBytes(200'000);
  std::vector<ByteRange> ranges;
  std::map<uint64_t, std::string> wanted;
  for (uint64_t first = 1000; first < 190'000; first += 19'000) {
    ranges.push_back({first, first + 999});
    wanted[first] = file.substr(first, 1000);
  }
  ASSERT_EQ(ranges.size(), 10u);
  ScriptedRanges::Script threeParts;
  threeParts.maxParts = 3;
  ScriptedRanges scripted(file, "\"v1\"", threeParts);
  TestServer server;
  server.Route("/f", scripted.Handler());
  test::RealUrlServices urls;
  BatchedRangeFetch fetch(urls, server.Root() + "/f", "\"v1\"", 200'000);
  CheckedSink sink;
  const BatchedRangeFetch::Outcome outcome = fetch.Fetch(ranges, sink);
  ASSERT_EQ(outcome.result, BatchedRangeFetch::Result::kDone) << outcome.reason;
  // 3 of the first request's 10, then 3, 3 and 1.
  EXPECT_EQ(outcome.requests, 4);
  EXPECT_EQ(outcome.rangesPerRequest, 3u);
  EXPECT_TRUE(outcome.fewerParts);
  EXPECT_EQ(outcome.bytes, 10'000u);
  EXPECT_EQ(sink.parts, wanted);

  // Another version of the file: nothing is kept.
  BatchedRangeFetch other(urls, server.Root() + "/f", "\"v0\"", 200'000);
  CheckedSink untouched;
  EXPECT_EQ(other.Fetch(ranges, untouched).result, BatchedRangeFetch::Result::kChanged);
  EXPECT_TRUE(untouched.parts.empty());
}

// A reply read to its end must not be cut off when its last part is in: that would close
// the connection, and a run of single ranges would open one per request.
TEST(BatchedRangeFetchTest, RepliesReadToTheirEndKeepTheRunOnOneConnection) {
  const std::string file = PatternBytes(200'000);
  std::vector<ByteRange> ranges;
  for (uint64_t first = 1000; first < 190'000; first += 19'000)
    ranges.push_back({first, first + 999});
  TestServer server;
  server.Put("/f", file);
  test::RealUrlServices urls;
  for (size_t perRequest : {size_t{5}, size_t{1}}) {
    BatchedRangeFetch fetch(urls, server.Root() + "/f", "", 200'000);
    CheckedSink sink;
    const BatchedRangeFetch::Outcome outcome = fetch.Fetch(ranges, sink, perRequest);
    ASSERT_EQ(outcome.result, BatchedRangeFetch::Result::kDone) << outcome.reason;
    EXPECT_EQ(sink.parts.size(), 10u);
  }
  EXPECT_EQ(server.Requests().size(), 12u);
  EXPECT_EQ(server.Connections(), 1u);
}

// Running out of memory while the transfer library calls in must stop the transfer and
// end the fetch with a reason, never unwind through the library or end the program.
TEST(BatchedRangeFetchTest, ASinkThatThrowsStopsTheTransferAndTheFetchFails) {
  const std::string file = PatternBytes(300'000);
  TestServer server;
  server.Put("/f", file);
  test::RealUrlServices urls;
  const std::vector<ByteRange> ranges{{0, 99'999}, {150'000, 249'999}};
  BatchedRangeFetch fetch(urls, server.Root() + "/f", "", -1);
  CheckedSink exhausted(50'000);
  const BatchedRangeFetch::Outcome outcome = fetch.Fetch(ranges, exhausted, 1);
  EXPECT_EQ(outcome.result, BatchedRangeFetch::Result::kFailed);
  EXPECT_EQ(outcome.reason, "not enough memory for the parts");
  EXPECT_TRUE(exhausted.parts.empty());

  // The same through the transfer itself, for receivers that take a reply directly.
  CheckedSink direct(50'000);
  const RangeReply reply = urls.FetchRanges(server.Root() + "/f", ranges, "", direct);
  EXPECT_EQ(reply.code, UrlServices::kAborted);
}

}  // namespace
}  // namespace qz

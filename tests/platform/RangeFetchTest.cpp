#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/UrlServices.h"
#include "support/PatternBytes.h"
#include "support/RealPlatform.h"
#include "support/ReceivedParts.h"
#include "support/TestServer.h"

namespace qz {
namespace {

using test::TestServer;

using test::PatternBytes;

// cpp-httplib cuts any answer to the ranges asked for unless they are dropped.
void AnswerAsIs(const httplib::Request& request) {
  const_cast<httplib::Request&>(request).ranges.clear();
}

// A 206 multipart/byteranges answer with `parts` (Content-Range value, data) as given.
httplib::Server::Handler MultipartAnswer(std::vector<std::pair<std::string, std::string>> parts,
                                         std::string etag = "\"v1\"") {
  return [=](const httplib::Request& request, httplib::Response& response) {
    AnswerAsIs(request);
    std::string body;
    for (const auto& [range, data] : parts) {
      body += "--cut\r\nContent-Range: bytes " + range + "\r\n\r\n" + data + "\r\n";
    }
    body += "--cut--\r\n";
    response.status = 206;
    response.set_header("ETag", etag);
    response.set_content(body, "multipart/byteranges; boundary=cut");
  };
}

class RangeFetchTest : public ::testing::Test {
 protected:
  RangeReply Fetch(const std::string& path, const std::vector<ByteRange>& ranges,
                   const std::string& ifRange, test::ReceivedParts& collector) {
    return urls.FetchRanges(server.Root() + path, ranges, ifRange, collector);
  }

  TestServer server;
  test::RealUrlServices urls;
  const std::string file = PatternBytes(300'000);
};

TEST_F(RangeFetchTest, DeliversEachPartUnderItsOwnRange) {
  server.Put("/f", file);
  // The tail, asked for before the length is known; its validator guards the later ones.
  test::ReceivedParts first;
  RangeReply tail = Fetch("/f", {ByteRange::Suffix(1000)}, "", first);
  ASSERT_EQ(tail.code, 0);
  EXPECT_EQ(tail.status, 206);
  EXPECT_EQ(tail.totalLength, 300'000);
  ASSERT_FALSE(tail.validator.empty());
  EXPECT_EQ(first.parts, (std::map<uint64_t, std::string>{{299'000, file.substr(299'000)}}));

  test::ReceivedParts several;
  RangeReply reply = Fetch("/f", {{70'000, 199'999}, {10, 19}}, tail.validator, several);
  ASSERT_EQ(reply.code, 0);
  EXPECT_EQ(reply.status, 206);
  EXPECT_EQ(reply.totalLength, 300'000);
  EXPECT_EQ(several.parts, (std::map<uint64_t, std::string>{
                               {10, file.substr(10, 10)}, {70'000, file.substr(70'000, 130'000)}}));
  EXPECT_EQ(server.RangesAsked().front(), "bytes=-1000");
  EXPECT_EQ(server.RangesAsked().back(), "bytes=70000-199999,10-19");

  // Parts come back in any order; they are matched by their Content-Range.
  server.Route("/m", MultipartAnswer({{"200-202/300", "ccc"}, {"0-1/300", "aa"}}));
  test::ReceivedParts reordered;
  reply = Fetch("/m", {{0, 1}, {200, 202}}, "\"v1\"", reordered);
  EXPECT_EQ(reply.code, 0);
  EXPECT_EQ(reordered.parts, (std::map<uint64_t, std::string>{{0, "aa"}, {200, "ccc"}}));
}

TEST_F(RangeFetchTest, AServerThatIgnoresOrRefusesRangesOrChangesItsFileIsNoticed) {
  server.Put("/f", file);
  server.IgnoreRanges(true);
  // One range answered with the whole file: that is the file.
  test::ReceivedParts whole;
  RangeReply reply = Fetch("/f", {{100, 199}}, "", whole);
  EXPECT_EQ(reply.code, 0);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(whole.parts, (std::map<uint64_t, std::string>{{0, file}}));
  // Several ranges answered with the whole file: refused before any of it is taken.
  test::ReceivedParts refused;
  reply = Fetch("/f", {{100, 199}, {400, 499}}, "", refused);
  EXPECT_EQ(reply.code, UrlServices::kRangesRefused);
  EXPECT_EQ(reply.status, 200);
  EXPECT_TRUE(refused.parts.empty());

  // The file changed since the validator was taken: its new validator is reported.
  server.IgnoreRanges(false);
  test::ReceivedParts changed;
  reply = Fetch("/f", {{100, 199}, {400, 499}}, "\"stale\"", changed);
  EXPECT_EQ(reply.code, UrlServices::kRangesRefused);
  EXPECT_NE(reply.validator, "\"stale\"");
  EXPECT_TRUE(changed.parts.empty());
  // A 206 for another version than If-Range named.
  server.Route("/other", MultipartAnswer({{"0-1/300", "aa"}}, "\"v2\""));
  reply = Fetch("/other", {{0, 1}, {5, 6}}, "\"v1\"", changed);
  EXPECT_EQ(reply.code, UrlServices::kValidatorChanged);
  EXPECT_TRUE(changed.parts.empty());

  // A part of another length than its Content-Range says, a part not asked for, a
  // body that ends before its closing delimiter, a status that is no answer.
  server.Route("/long", MultipartAnswer({{"0-1/300", "aaa"}}));
  server.Route("/stray", MultipartAnswer({{"0-1/300", "aa"}, {"250-251/300", "zz"}}));
  server.Route("/open", [](const httplib::Request& request, httplib::Response& response) {
    AnswerAsIs(request);
    response.status = 206;
    response.set_content("--cut\r\nContent-Range: bytes 0-1/300\r\n\r\naa\r\n",
                         "multipart/byteranges; boundary=cut");
  });
  server.Fail("/gone", 416);
  for (const char* path : {"/long", "/stray", "/open"}) {
    test::ReceivedParts faulty;
    EXPECT_EQ(Fetch(path, {{0, 1}, {200, 202}}, "\"v1\"", faulty).code, UrlServices::kInvalidReply)
        << path;
  }
  test::ReceivedParts none;
  EXPECT_EQ(Fetch("/gone", {{0, 1}}, "", none).code, 416);
}

TEST_F(RangeFetchTest, AWholeFileRefusedForSeveralRangesIsNotReadOn) {
  constexpr size_t kSize = size_t{256} << 20;
  auto sent = std::make_shared<std::atomic<size_t>>(0);
  server.Route("/big", [sent](const httplib::Request& request, httplib::Response& response) {
    AnswerAsIs(request);
    response.set_content_provider(kSize, "application/octet-stream",
                                  [sent](size_t offset, size_t, httplib::DataSink& sink) {
                                    static const std::string piece(64 << 10, 'x');
                                    *sent = offset;
                                    return sink.write(piece.data(), piece.size());
                                  });
  });
  test::ReceivedParts refused;
  RangeReply reply = Fetch("/big", {{0, 9}, {100, 109}}, "", refused);
  EXPECT_EQ(reply.code, UrlServices::kRangesRefused);
  // Socket buffers hold a few MiB at most; reading on would take the whole file.
  EXPECT_LT(sent->load(), kSize / 4);
}

}  // namespace
}  // namespace qz

#include "platform/MultipartByteRanges.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support/ReceivedParts.h"

namespace qz {
namespace {

std::string Part(const std::string& range, const std::string& data) {
  return "--XyZ\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes " + range +
         "\r\n\r\n" + data + "\r\n";
}

// Feeds `body` in pieces of `piece` bytes, so every delimiter and header falls apart.
MultipartByteRanges::State Feed(const std::string& body, size_t piece,
                                test::ReceivedParts& collector) {
  MultipartByteRanges parser("XyZ", collector);
  for (size_t at = 0; at < body.size(); at += piece) {
    if (!parser.Feed(body.data() + at, std::min(piece, body.size() - at))) break;
  }
  return parser.Current();
}

TEST(MultipartByteRangesTest, ReadsPartsByTheirOwnRangesInAnyPieces) {
  EXPECT_EQ(MultipartByteRanges::BoundaryOf("multipart/byteranges; boundary=XyZ"), "XyZ");
  EXPECT_EQ(MultipartByteRanges::BoundaryOf("Multipart/ByteRanges;boundary=\"a b\""), "a b");
  EXPECT_EQ(MultipartByteRanges::BoundaryOf("application/octet-stream"), "");
  EXPECT_EQ(MultipartByteRanges::BoundaryOf("multipart/byteranges"), "");

  // Parts out of the order asked for, data that looks like a delimiter, a preamble,
  // transport padding after a delimiter and an epilogue.
  const std::string body = "preamble\r\n" + Part("90-99/100", "0123456789") +
                           Part("0-4/100", "--XyZ") + "--XyZ  \r\nContent-range:bytes 50-50/100" +
                           "\r\n\r\n!\r\n--XyZ--\r\nepilogue";
  for (size_t piece : {size_t{1}, size_t{3}, body.size()}) {
    test::ReceivedParts collector;
    ASSERT_EQ(Feed(body, piece, collector), MultipartByteRanges::State::kComplete) << piece;
    EXPECT_EQ(collector.parts,
              (std::map<uint64_t, std::string>{{90, "0123456789"}, {0, "--XyZ"}, {50, "!"}}));
  }
}

TEST(MultipartByteRangesTest, APartUnlikeItsRangeOrAnUnboundedBodyIsMalformed) {
  const std::string end = "--XyZ--\r\n";
  const std::string cases[] = {
      Part("0-9/100", "short") + end,                                        // shorter than said
      Part("0-2/100", "longer") + end,                                       // longer than said
      "--XyZ\r\nContent-Type: x\r\n\r\nabc\r\n" + end,                       // no Content-Range
      Part("0-2/100", "abc") + Part("5-6/200", "de") + end,                  // totals differ
      Part("5-2/100", "") + end,                                             // backwards
      Part("0-200/100", "x") + end,                                          // beyond the total
      "--XyZ\r\n" + std::string(MultipartByteRanges::kMaxHeaderBytes, 'h'),  // endless headers
      std::string(MultipartByteRanges::kMaxHeaderBytes + 10, 'p'),           // no delimiter at all
      "--XyZjunk\r\n" + Part("0-0/1", "a") + end,                            // not a delimiter line
  };
  for (const std::string& body : cases) {
    for (size_t piece : {size_t{1}, body.size()}) {
      test::ReceivedParts collector;
      EXPECT_EQ(Feed(body, piece, collector), MultipartByteRanges::State::kMalformed)
          << body.substr(0, 60) << " in pieces of " << piece;
    }
  }
  // A body that ends before its closing delimiter is not complete.
  test::ReceivedParts collector;
  EXPECT_EQ(Feed(Part("0-2/100", "abc"), 1, collector), MultipartByteRanges::State::kGoing);
}

}  // namespace
}  // namespace qz

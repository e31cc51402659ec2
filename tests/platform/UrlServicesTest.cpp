#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/TransferObserver.h"
#include "platform/UrlServices.h"
#include "support/PatternBytes.h"
#include "support/RealPlatform.h"
#include "support/ReceivedParts.h"
#include "support/TempDir.h"
#include "support/TestServer.h"

namespace qz {
namespace {

using test::TempDir;
using test::TestServer;

using test::PatternBytes;

class SeenBytes : public TransferObserver {
 public:
  bool OnData(const char* data, size_t size, uint64_t, int64_t) override {
    bytes.append(data, size);
    return true;
  }
  std::string bytes;
};

class UrlServicesTest : public ::testing::Test {
 protected:
  TempDir dir;
  TestServer server;
  test::RealUrlServices urls;
};

// A delta from a server that answers one range per request makes hundreds of requests;
// each must not cost a connection (and over https a handshake) of its own.
TEST_F(UrlServicesTest, TheRequestsOfOneObjectShareOneConnection) {
  const std::string file = PatternBytes(100'000);
  server.Put("/Vq/VQ.Zip", file);
  const std::string url = server.Root() + "/Vq/VQ.Zip";
  ASSERT_EQ(urls.DownloadToFile(url, dir / "VQ.Zip"), 0);
  test::ReceivedParts parts;
  for (uint64_t at = 0; at < 5; ++at) {
    const RangeReply reply = urls.FetchRanges(url, {{at * 1000, at * 1000 + 99}}, "", parts);
    ASSERT_EQ(reply.code, 0);
  }
  ASSERT_EQ(urls.DownloadToFile(url, dir / "Again.Zip"), 0);
  EXPECT_EQ(dir.Read("Again.Zip"), file);
  EXPECT_EQ(parts.parts[4000], file.substr(4000, 100));
  EXPECT_EQ(server.Requests().size(), 7u);
  EXPECT_EQ(server.Connections(), 1u);
}

// A kept part that is already the whole file (it arrived whole, and a later file of the
// update failed) gets a 416 naming its length from a server that checked If-Range: it is
// taken as it is, its bytes pass the observer, and nothing arrives again. Under another
// validator the whole file comes again.
TEST_F(UrlServicesTest, AKeptPartThatIsTheWholeFileIsConfirmedNotFetchedAgain) {
  const std::string file = PatternBytes(4096);
  const std::string fresh = PatternBytes(5000);
  server.Route("/Vq/VQ.Zip", [&](const httplib::Request& request, httplib::Response& response) {
    const std::string range = request.get_header_value("Range");
    const bool current = request.get_header_value("If-Range") == "\"v1\"";
    const_cast<httplib::Request&>(request).ranges.clear();
    response.set_header("ETag", "\"v1\"");
    if (current && range == "bytes=4096-") {
      response.status = 416;
      response.set_header("Content-Range", "bytes */4096");
      response.set_content("<html>416</html>", "text/html");
    } else {
      response.set_content(fresh, "application/zip");
    }
  });
  const std::string url = server.Root() + "/Vq/VQ.Zip";
  std::filesystem::create_directories(dir / "Partial");
  auto resume = [&](const std::string& kept, const std::string& validator, SeenBytes* seen) {
    dir.Write("Partial/VQ.Zip", kept);
    dir.Write("Partial/VQ.Zip.validator", validator);
    return urls.ResumeToFile(url, dir / "VQ.Zip", dir / "Partial/VQ.Zip", seen,
                             UrlServices::kNoLimit);
  };

  SeenBytes seen;
  EXPECT_EQ(resume(file, "\"v1\"", &seen), 0);
  EXPECT_EQ(dir.Read("VQ.Zip"), file);
  EXPECT_EQ(seen.bytes, file);
  EXPECT_EQ(server.RangesAsked().back(), "bytes=4096-");
  EXPECT_EQ(dir.FilesIn("Partial"), "VQ.Zip.validator");

  // Under another validator the server ignores the range and sends its whole file.
  EXPECT_EQ(resume(file, "\"v0\"", nullptr), 0);
  EXPECT_EQ(dir.Read("VQ.Zip"), fresh);
}

}  // namespace
}  // namespace qz

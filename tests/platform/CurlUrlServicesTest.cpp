#include "platform/posix/CurlUrlServices.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/TempDir.h"
#include "support/TestServer.h"

namespace qz {
namespace {

using test::TempDir;
using test::TestServer;

std::string PatternBytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 2654435761u) >> 13);
  return bytes;
}

// Sends `size` bytes of PatternBytes in pieces of `piece`, pausing `pause` before each,
// and breaks the connection after `cutAfter` bytes.
void StreamBody(httplib::Response& response, size_t size, size_t piece,
                std::chrono::milliseconds pause, size_t cutAfter) {
  response.set_content_provider(size, "application/octet-stream",
                                [=](size_t offset, size_t, httplib::DataSink& sink) {
                                  if (offset >= cutAfter) return false;
                                  std::this_thread::sleep_for(pause);
                                  std::string bytes = PatternBytes(size).substr(offset, piece);
                                  sink.write(bytes.data(), bytes.size());
                                  return true;
                                });
}

class CurlUrlServicesTest : public ::testing::Test {
 protected:
  TempDir dir;
  TestServer server;
  CurlUrlServices urls;
};

TEST_F(CurlUrlServicesTest, SavesTheWholeBodyExactly) {
  std::string body = PatternBytes(8 << 20);
  server.Put("/Vq/VQ.Zip", body);
  dir.Write("QzUFiles/Keep.txt", "");
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "QzUFiles/VQ.Zip"), 0);
  EXPECT_EQ(dir.Read("QzUFiles/VQ.Zip"), body);
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "Keep.txt VQ.Zip");
}

TEST_F(CurlUrlServicesTest, ReplacesAnExistingTargetWhateverItsCase) {
  server.Put("/Vq/VQ.Zip", "new archive");
  dir.Write("QzUFiles/vq.zip", "old archive that is longer");
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "QzUFiles/VQ.Zip"), 0);
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "vq.zip");
  EXPECT_EQ(dir.Read("QzUFiles/vq.zip"), "new archive");
}

TEST_F(CurlUrlServicesTest, AnErrorStatusIsTheResultAndLeavesNoFile) {
  server.Fail("/Vq/Data.TXT", 500);
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Data.TXT", dir / "Data.Mdb"), 500);
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Missing.TXT", dir / "Data.Mdb"), 404);
  EXPECT_EQ(dir.FilesIn(), "");

  dir.Write("Data.Mdb", "previous");
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Missing.TXT", dir / "Data.Mdb"), 404);
  EXPECT_EQ(dir.FilesIn(), "Data.Mdb");
  EXPECT_EQ(dir.Read("Data.Mdb"), "previous");
}

TEST_F(CurlUrlServicesTest, ABodyCutShortFailsAndLeavesTheTargetAlone) {
  server.Route("/Vq/VQ.Zip", [](const httplib::Request&, httplib::Response& response) {
    StreamBody(response, 1 << 20, 64 << 10, std::chrono::milliseconds(0), 512 << 10);
  });
  dir.Write("VQ.Zip", "previous");
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "VQ.Zip"), -18);
  EXPECT_EQ(dir.FilesIn(), "VQ.Zip");
  EXPECT_EQ(dir.Read("VQ.Zip"), "previous");
}

TEST_F(CurlUrlServicesTest, ASlowBodyCompletes) {
  server.Route("/Vq/VQ.Zip", [](const httplib::Request&, httplib::Response& response) {
    StreamBody(response, 40'000, 4'000, std::chrono::milliseconds(100), 40'000);
  });
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "VQ.Zip"), 0);
  EXPECT_EQ(dir.Read("VQ.Zip"), PatternBytes(40'000));
}

TEST_F(CurlUrlServicesTest, FollowsRedirectsToHttpOnly) {
  server.Put("/Mirror/VQ.Zip", "mirrored");
  server.Route("/Vq/VQ.Zip", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/Mirror/VQ.Zip");
  });
  server.Route("/Vq/Data.TXT", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("file:///etc/passwd");
  });
  server.Route("/Vq/Loop", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/Vq/Loop");
  });
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "VQ.Zip"), 0);
  EXPECT_EQ(dir.Read("VQ.Zip"), "mirrored");

  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Data.TXT", dir / "Data.Mdb"), -1);
  EXPECT_EQ(urls.DownloadToFile("file:///etc/passwd", dir / "Data.Mdb"), -1);
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Loop", dir / "Data.Mdb"), -47);
  EXPECT_EQ(dir.FilesIn(), "VQ.Zip");
}

TEST_F(CurlUrlServicesTest, ALocalFailureIsReportedWithItsErrno) {
  server.Put("/Vq/VQ.Zip", "archive");
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "Gone/VQ.Zip"),
            -(1000 + ENOENT));
  EXPECT_FALSE(dir.Exists("Gone"));
}

TEST_F(CurlUrlServicesTest, AnUnreachableServerIsATransferFailure) {
  std::string root = server.Root();
  server.Raw().stop();
  EXPECT_EQ(urls.DownloadToFile(root + "/Vq/VQ.Zip", dir / "VQ.Zip"), -7);
  EXPECT_EQ(dir.FilesIn(), "");
}

TEST_F(CurlUrlServicesTest, AsksForAFreshCopy) {
  std::string cacheControl;
  std::string pragma;
  server.Route("/Vq/Version.INF",
               [&](const httplib::Request& request, httplib::Response& response) {
                 cacheControl = request.get_header_value("Cache-Control");
                 pragma = request.get_header_value("Pragma");
                 response.set_content("[Version]", "text/plain");
               });
  urls.DeleteCacheEntry(server.Root() + "/Vq/Version.INF");
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Version.INF", dir / "Version.INF"), 0);
  EXPECT_EQ(cacheControl, "no-cache");
  EXPECT_EQ(pragma, "no-cache");
}

}  // namespace
}  // namespace qz

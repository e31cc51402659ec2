#include "platform/posix/CurlUrlServices.h"

#include <errno.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <zlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/TransferObserver.h"
#include "platform/posix/FileSizeLimit.h"
#include "support/ChildProcess.h"
#include "support/PatternBytes.h"
#include "support/TempDir.h"
#include "support/TestServer.h"

namespace qz {
namespace {

using test::ChildProcess;
using test::TempDir;
using test::TestServer;

using test::PatternBytes;

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

std::string Gzipped(const std::string& bytes) {
  z_stream stream{};
  // 16 above the window bits asks for a gzip wrapper instead of zlib's own.
  deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string packed(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(packed.data());
  stream.avail_out = static_cast<uInt>(packed.size());
  deflate(&stream, Z_FINISH);
  packed.resize(stream.total_out);
  deflateEnd(&stream);
  return packed;
}

// Answers with `body` marked as gzip-coded, whatever the request asked for.
httplib::Server::Handler GzipAnswer(std::string body, std::string* acceptEncoding = nullptr) {
  return [=](const httplib::Request& request, httplib::Response& response) {
    if (acceptEncoding) *acceptEncoding = request.get_header_value("Accept-Encoding");
    response.set_header("Content-Encoding", "gzip");
    response.set_content(Gzipped(body), "application/octet-stream");
  };
}

class RecordingObserver : public TransferObserver {
 public:
  bool OnData(const char* data, size_t size, uint64_t received, int64_t expected) override {
    bytes.append(data, size);
    totals.push_back(received);
    this->expected = expected;
    return bytes.size() < stopAfter;
  }
  bool OnTick() override { return ticksBeforeStop < 0 || --ticksBeforeStop > 0; }
  std::string bytes;
  std::vector<uint64_t> totals;
  int64_t expected = 0;
  size_t stopAfter = SIZE_MAX;
  // Ticks until OnTick stops the transfer; negative: never.
  int ticksBeforeStop = -1;
};

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

namespace qz {
namespace {

TEST_F(CurlUrlServicesTest, ACompressedAnswerIsSavedDecoded) {
  std::string acceptEncoding;
  const std::string version = "\"ApplicationVersion=1.3.0\"\r\n" + std::string(5000, ' ');
  server.Route("/Vq/Version.INF", GzipAnswer(version, &acceptEncoding));
  RecordingObserver observer;
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Version.INF", dir / "Version.INF", &observer),
            0);
  EXPECT_EQ(acceptEncoding, "identity");
  EXPECT_EQ(dir.Read("Version.INF"), version);
  // The declared length is the compressed one, so the observer is told none.
  EXPECT_EQ(observer.expected, -1);

  server.Route("/Vq/Data.TXT", [](const httplib::Request&, httplib::Response& response) {
    response.set_header("Content-Encoding", "x-unheard-of");
    response.set_content("scrambled", "application/octet-stream");
  });
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Data.TXT", dir / "Data.Mdb"), -61);
  EXPECT_EQ(dir.FilesIn(), "Version.INF");
}

TEST_F(CurlUrlServicesTest, OnlyA200AnswerIsTheFile) {
  dir.Write("VQ.Zip", "previous");
  for (int status : {204, 206, 203, 299}) {
    server.Route("/Vq/VQ.Zip", [status](const httplib::Request&, httplib::Response& response) {
      response.status = status;
      if (status != 204) response.set_content("part of something", "application/octet-stream");
    });
    EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "VQ.Zip"), status);
    EXPECT_EQ(dir.FilesIn(), "VQ.Zip");
    EXPECT_EQ(dir.Read("VQ.Zip"), "previous");
  }
}

TEST_F(CurlUrlServicesTest, ABodyBeyondTheLimitFailsWithoutAFile) {
  server.Put("/Vq/Exact", std::string(1000, 'x'));
  server.Put("/Vq/Declared", std::string(1001, 'x'));
  server.Route("/Vq/Chunked", [](const httplib::Request&, httplib::Response& response) {
    response.set_chunked_content_provider("text/plain", [](size_t offset, httplib::DataSink& sink) {
      if (offset >= 4000) {
        sink.done();
      } else {
        sink.write(std::string(500, 'x').data(), 500);
      }
      return true;
    });
  });
  server.Route("/Vq/Bomb", GzipAnswer(std::string(1 << 20, '\0')));
  RecordingObserver observer;
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Exact", dir / "Exact", nullptr, 1000), 0);
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Declared", dir / "V", &observer, 1000), -63);
  EXPECT_TRUE(observer.bytes.empty());
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Chunked", dir / "V", nullptr, 1000), -63);
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Bomb", dir / "V", nullptr, 1000), -63);
  EXPECT_EQ(dir.FilesIn(), "Exact");
}

TEST_F(CurlUrlServicesTest, ATrickleOrASilentServerIsAStall) {
  CurlUrlServices impatient(StallDetector::Limit{1024, 1});
  server.Route("/Vq/Trickle", [](const httplib::Request&, httplib::Response& response) {
    StreamBody(response, 100'000, 2, std::chrono::milliseconds(200), 100'000);
  });
  server.Route("/Vq/Silent", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(100, "text/plain", [](size_t, size_t, httplib::DataSink&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return true;
    });
  });
  server.Route("/Vq/Slow", [](const httplib::Request&, httplib::Response& response) {
    StreamBody(response, 40'000, 4'000, std::chrono::milliseconds(100), 40'000);
  });
  dir.Write("VQ.Zip", "previous");
  EXPECT_EQ(impatient.DownloadToFile(server.Root() + "/Vq/Trickle", dir / "VQ.Zip"), -900);
  EXPECT_EQ(impatient.DownloadToFile(server.Root() + "/Vq/Silent", dir / "VQ.Zip"), -900);
  EXPECT_EQ(dir.FilesIn(), "VQ.Zip");
  EXPECT_EQ(dir.Read("VQ.Zip"), "previous");
  EXPECT_EQ(impatient.DownloadToFile(server.Root() + "/Vq/Slow", dir / "VQ.Zip"), 0);
}

TEST_F(CurlUrlServicesTest, TheObserverSeesEveryPieceAndMayStopTheTransfer) {
  const std::string body = PatternBytes(3 << 20);
  server.Put("/Vq/VQ.Zip", body);
  RecordingObserver observer;
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "VQ.Zip", &observer), 0);
  EXPECT_EQ(observer.bytes, body);
  EXPECT_EQ(observer.totals.back(), body.size());
  EXPECT_EQ(observer.expected, static_cast<int64_t>(body.size()));

  RecordingObserver stopping;
  stopping.stopAfter = 1 << 20;
  dir.Write("VQ.Zip", "previous");
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "VQ.Zip", &stopping),
            UrlServices::kAborted);
  EXPECT_EQ(dir.FilesIn(), "VQ.Zip");
  EXPECT_EQ(dir.Read("VQ.Zip"), "previous");

  // A server that sends nothing still lets the observer stop the transfer.
  server.Route("/Vq/Silent", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(100, "text/plain", [](size_t, size_t, httplib::DataSink&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return true;
    });
  });
  RecordingObserver ticking;
  ticking.ticksBeforeStop = 3;
  EXPECT_EQ(urls.DownloadToFile(server.Root() + "/Vq/Silent", dir / "VQ.Zip", &ticking),
            UrlServices::kAborted);
  EXPECT_EQ(ticking.ticksBeforeStop, 0);
  EXPECT_TRUE(ticking.bytes.empty());
  EXPECT_EQ(dir.Read("VQ.Zip"), "previous");
}

TEST_F(CurlUrlServicesTest, AnInterruptedDownloadResumesOnlyWhileTheFileIsUnchanged) {
  const std::string body = PatternBytes(1 << 20);
  const std::string url = server.Root() + "/Vq/VQ.Zip";
  std::filesystem::create_directories(dir / "Partial");
  auto attempt = [&](RecordingObserver* observer = nullptr) {
    return urls.ResumeToFile(url, dir / "VQ.Zip", dir / "Partial/VQ.Zip", observer,
                             UrlServices::kNoLimit);
  };
  auto cutAtHalf = [&](const std::string& file) {
    server.Put("/Vq/VQ.Zip", file);
    server.CutAfter("/Vq/VQ.Zip", file.size() / 2);
    EXPECT_EQ(attempt(), -18);
    EXPECT_EQ(dir.Read("Partial/VQ.Zip"), file.substr(0, file.size() / 2));
    server.CutAfter("/Vq/VQ.Zip", SIZE_MAX);
  };

  // The rest only, and the observer still sees the whole file from its first byte.
  cutAtHalf(body);
  EXPECT_FALSE(dir.Exists("VQ.Zip"));
  RecordingObserver observer;
  EXPECT_EQ(attempt(&observer), 0);
  EXPECT_EQ(server.RangesAsked().back(), "bytes=524288-");
  EXPECT_EQ(dir.Read("VQ.Zip"), body);
  EXPECT_EQ(observer.bytes, body);
  EXPECT_EQ(observer.expected, static_cast<int64_t>(body.size()));
  EXPECT_EQ(dir.FilesIn("Partial"), "VQ.Zip.validator");

  // A server that ignores the range sends the whole file, which replaces the part.
  cutAtHalf(body);
  server.IgnoreRanges(true);
  EXPECT_EQ(attempt(), 0);
  EXPECT_EQ(server.RangesAsked().back(), "bytes=524288-");
  EXPECT_EQ(dir.Read("VQ.Zip"), body);
  server.IgnoreRanges(false);

  // A file changed on the server since the part arrived is fetched afresh.
  cutAtHalf(body);
  const std::string changed = PatternBytes((1 << 20) + 7).substr(7);
  server.Put("/Vq/VQ.Zip", changed);
  EXPECT_EQ(attempt(), 0);
  EXPECT_EQ(dir.Read("VQ.Zip"), changed);
}

TEST_F(CurlUrlServicesTest, AFileSizeLimitIsALocalFailureNotAKill) {
  server.Put("/Vq/VQ.Zip", PatternBytes(1 << 20));
  ChildProcess child([&] {
    FileSizeLimit::ReportAsError();
    rlimit limit{256 << 10, 256 << 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    int32_t code = urls.DownloadToFile(server.Root() + "/Vq/VQ.Zip", dir / "VQ.Zip");
    return code == -(1000 + EFBIG) ? 'F' : 'X';
  });
  EXPECT_EQ(child.Reported(), 'F');
  EXPECT_EQ(child.Finish(), 0);
  EXPECT_EQ(dir.FilesIn(), "");
}

// A resume that fails keeps no part file, and a part that cannot be continued (a 416 or
// a rest under another validator, from a server that ignores If-Range) is replaced by the
// whole file within the same call; the new validator stays.
TEST_F(CurlUrlServicesTest, FailedAnswersKeepNoPartAndStalePartsAreFetchedWhole) {
  std::filesystem::create_directories(dir / "Partial");
  auto attempt = [&](const std::string& path) {
    return urls.ResumeToFile(server.Root() + path, dir / "VQ.Zip", dir / "Partial/VQ.Zip", nullptr,
                             UrlServices::kNoLimit);
  };
  server.Fail("/Vq/Data.TXT", 204);
  EXPECT_EQ(attempt("/Vq/Missing.Zip"), 404);
  EXPECT_EQ(attempt("/Vq/Data.TXT"), 204);
  EXPECT_EQ(dir.FilesIn("Partial"), "");
  EXPECT_FALSE(dir.Exists("VQ.Zip"));

  const std::string body = PatternBytes(4096);
  const std::string changed = PatternBytes(4099).substr(3);
  // Answers a range with 416 when it starts at the end and with the asked rest of
  // `changed` (ETag "v2") otherwise, whatever If-Range says.
  server.Route("/Vq/VQ.Zip", [&](const httplib::Request& request, httplib::Response& response) {
    const std::string range = request.get_header_value("Range");
    const_cast<httplib::Request&>(request).ranges.clear();
    response.set_header("ETag", "\"v2\"");
    if (range == "bytes=4096-") {
      response.status = 416;
      response.set_header("Content-Range", "bytes */4096");
    } else if (range == "bytes=2048-") {
      response.status = 206;
      response.set_header("Content-Range", "bytes 2048-4095/4096");
      response.set_content(changed.substr(2048), "application/zip");
    } else {
      response.set_content(changed, "application/zip");
    }
  });
  for (size_t kept : {size_t{4096}, size_t{2048}}) {
    SCOPED_TRACE(kept);
    dir.Write("Partial/VQ.Zip", body.substr(0, kept));
    dir.Write("Partial/VQ.Zip.validator", "\"v1\"");
    EXPECT_EQ(attempt("/Vq/VQ.Zip"), 0);
    EXPECT_EQ(dir.Read("VQ.Zip"), changed);
    EXPECT_EQ(server.RangesAsked().back(), "");
    EXPECT_EQ(dir.FilesIn("Partial"), "VQ.Zip.validator");
  }
}

}  // namespace
}  // namespace qz

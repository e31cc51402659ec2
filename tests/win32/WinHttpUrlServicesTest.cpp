#include "platform/win32/WinHttpUrlServices.h"

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <climits>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/TransferObserver.h"
#include "support/PatternBytes.h"
#include "support/TempDir.h"
#include "support/TestServer.h"

// After TestServer.h: winsock2.h must come before windows.h, and tlhelp32.h after it.
#include <windows.h>

#include <tlhelp32.h>

namespace qz {
namespace {

using test::TempDir;
using test::TestServer;

using test::PatternBytes;

// Declares `size` bytes of PatternBytes, sends them in pieces of `piece` and breaks the
// connection after `cutAfter` bytes.
void StreamBody(httplib::Response& response, size_t size, size_t piece, size_t cutAfter) {
  response.set_content_provider(size, "application/octet-stream",
                                [=](size_t offset, size_t, httplib::DataSink& sink) {
                                  if (offset >= cutAfter) return false;
                                  std::string bytes = PatternBytes(size).substr(offset, piece);
                                  sink.write(bytes.data(), bytes.size());
                                  return true;
                                });
}

// The threads of this process now.
int ThreadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

struct CountingObserver : TransferObserver {
  bool OnData(const char* data, size_t size, uint64_t received, int64_t expected) override {
    bytes += size;
    if (keep) seen.append(data, size);
    lastReceived = received;
    lastExpected = expected;
    if (bytes == size) ticksBeforeData = ticks;
    return received < stopAfter;
  }
  bool OnTick() override {
    ++ticks;
    return ticks < stopAtTick;
  }
  uint64_t bytes = 0;
  std::string seen;
  uint64_t lastReceived = 0;
  int64_t lastExpected = 0;
  uint64_t stopAfter = UINT64_MAX;
  bool keep = false;
  int ticks = 0;
  int ticksBeforeData = -1;
  int stopAtTick = INT_MAX;
};

class WinHttpUrlServicesTest : public ::testing::Test {
 protected:
  std::string Url(const std::string& path) const { return server.Root() + path; }

  TempDir dir;
  TestServer server;
  WinHttpUrlServices urls;
};

TEST_F(WinHttpUrlServicesTest, SavesTheWholeBodyAndTellsTheObserver) {
  std::string body = PatternBytes(3 << 20);
  server.Put("/Vq/VQ.Zip", body);
  dir.Write("QzUFiles/vq.zip", "old archive");
  CountingObserver observer;
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/VQ.Zip"), dir / "QzUFiles/VQ.Zip", &observer), 0);
  EXPECT_EQ(dir.Read("QzUFiles/VQ.Zip"), body);
  EXPECT_EQ(Lower(dir.FilesIn("QzUFiles")), "vq.zip");
  EXPECT_EQ(observer.bytes, body.size());
  EXPECT_EQ(observer.lastReceived, body.size());
  EXPECT_EQ(observer.lastExpected, static_cast<int64_t>(body.size()));

  CountingObserver stopping;
  stopping.stopAfter = 1;
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/VQ.Zip"), dir / "Other.Zip", &stopping),
            UrlServices::kAborted);
  EXPECT_FALSE(dir.Exists("Other.Zip"));
}

// Anything but a whole 200 answer fails, and neither the target nor a temporary file is
// left behind: error statuses, a body cut short, a refused connection, a bad scheme.
TEST_F(WinHttpUrlServicesTest, EveryFailureLeavesTheTargetAsItWas) {
  server.Fail("/Vq/Data.TXT", 500);
  server.Route("/Vq/Cut.Zip", [](const httplib::Request&, httplib::Response& response) {
    StreamBody(response, 1 << 20, 64 << 10, 512 << 10);
  });
  server.Route("/Vq/Empty",
               [](const httplib::Request&, httplib::Response& response) { response.status = 204; });
  dir.Write("Data.Mdb", "previous");
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/Data.TXT"), dir / "Data.Mdb"), 500);
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/Missing.TXT"), dir / "Data.Mdb"), 404);
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/Empty"), dir / "Data.Mdb"), 204);
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/Cut.Zip"), dir / "Data.Mdb"), -12030);
  EXPECT_EQ(urls.DownloadToFile("ftp://127.0.0.1/Vq/VQ.Zip", dir / "Data.Mdb"), -12006);
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/Data.TXT"), dir / "Gone/Data.Mdb"), -1003);

  std::string root = server.Root();
  server.Raw().stop();
  EXPECT_EQ(urls.DownloadToFile(root + "/Vq/VQ.Zip", dir / "Data.Mdb"), -12029);
  EXPECT_EQ(dir.FilesIn(), "Data.Mdb");
  EXPECT_EQ(dir.Read("Data.Mdb"), "previous");
}

TEST_F(WinHttpUrlServicesTest, FollowsRedirectsAndAsksForAFreshCopy) {
  std::string cacheControl;
  std::string pragma;
  server.Route("/Mirror/VQ.Zip", [&](const httplib::Request& request, httplib::Response& response) {
    cacheControl = request.get_header_value("Cache-Control");
    pragma = request.get_header_value("Pragma");
    response.set_content("mirrored", "application/zip");
  });
  server.Route("/Vq/VQ.Zip", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/Mirror/VQ.Zip");
  });
  server.Route("/Vq/Loop", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/Vq/Loop");
  });
  urls.DeleteCacheEntry(Url("/Vq/VQ.Zip"));
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/VQ.Zip"), dir / "VQ.Zip"), 0);
  EXPECT_EQ(dir.Read("VQ.Zip"), "mirrored");
  EXPECT_EQ(cacheControl, "no-cache");
  EXPECT_EQ(pragma, "no-cache");
  EXPECT_NE(urls.DownloadToFile(Url("/Vq/Loop"), dir / "Loop"), 0);
  EXPECT_EQ(dir.FilesIn(), "VQ.Zip");
}

TEST_F(WinHttpUrlServicesTest, AnInterruptedDownloadResumesOnlyWhileTheFileIsUnchanged) {
  const std::string body = PatternBytes(1 << 20);
  const std::string url = Url("/Vq/VQ.Zip");
  std::filesystem::create_directories(dir / "Partial");
  auto attempt = [&](CountingObserver* observer = nullptr) {
    return urls.ResumeToFile(url, dir / "VQ.Zip", dir / "Partial/VQ.Zip", observer,
                             UrlServices::kNoLimit);
  };
  auto cutAtHalf = [&](const std::string& file) {
    server.Put("/Vq/VQ.Zip", file);
    server.CutAfter("/Vq/VQ.Zip", file.size() / 2);
    EXPECT_EQ(attempt(), -12030);
    EXPECT_EQ(dir.Read("Partial/VQ.Zip"), file.substr(0, file.size() / 2));
    server.CutAfter("/Vq/VQ.Zip", SIZE_MAX);
  };

  // The rest only, and the observer still sees the whole file from its first byte.
  cutAtHalf(body);
  EXPECT_FALSE(dir.Exists("VQ.Zip"));
  CountingObserver observer;
  observer.keep = true;
  EXPECT_EQ(attempt(&observer), 0);
  EXPECT_EQ(server.RangesAsked().back(), "bytes=524288-");
  EXPECT_EQ(dir.Read("VQ.Zip"), body);
  EXPECT_TRUE(observer.seen == body);
  EXPECT_EQ(observer.lastExpected, static_cast<int64_t>(body.size()));
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
  EXPECT_TRUE(dir.Read("VQ.Zip") == changed);
}

// The observer ticks while WinHTTP waits for data, and a stop from a tick ends the
// transfer although the server stays silent.
TEST_F(WinHttpUrlServicesTest, TicksWhileTheServerIsSilentAndStopsAtOnce) {
  server.Route("/Vq/Slow", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(100, "text/plain", [](size_t, size_t, httplib::DataSink& sink) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      sink.write(std::string(100, 'x').data(), 100);
      return true;
    });
  });
  CountingObserver slow;
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/Slow"), dir / "Slow.txt", &slow), 0);
  EXPECT_GE(slow.ticksBeforeData, 1);
  EXPECT_EQ(dir.Read("Slow.txt"), std::string(100, 'x'));

  server.Route("/Vq/Silent", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(100, "text/plain", [](size_t, size_t, httplib::DataSink&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      return true;
    });
  });
  dir.Write("VQ.Zip", "previous");
  CountingObserver stopping;
  stopping.stopAtTick = 3;
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/Silent"), dir / "VQ.Zip", &stopping),
            UrlServices::kAborted);
  EXPECT_EQ(stopping.ticks, 3);
  EXPECT_EQ(stopping.bytes, 0u);
  EXPECT_EQ(dir.FilesIn(), "Slow.txt VQ.Zip");
  EXPECT_EQ(dir.Read("VQ.Zip"), "previous");
}

// Counts this process's threads at its first call.
struct ThreadCountingObserver : CountingObserver {
  bool OnData(const char* data, size_t size, uint64_t received, int64_t expected) override {
    Note();
    return CountingObserver::OnData(data, size, received, expected);
  }
  bool OnTick() override {
    Note();
    return CountingObserver::OnTick();
  }
  void Note() {
    if (threads < 0) threads = ThreadCount();
  }
  int threads = -1;
};

// A stop returns at once, but its worker may still pass the closed request handle to
// WinHTTP, and Windows may give that value to a new handle: the next download opens none
// before the stopped worker has ended.
TEST_F(WinHttpUrlServicesTest, TheNextDownloadWaitsUntilAStoppedWorkerHasEnded) {
  // The headers, then half a second of silence, then the connection breaks.
  server.Route("/Vq/Hush", [](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(100, "text/plain", [](size_t, size_t, httplib::DataSink&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      return false;
    });
  });
  const std::string body = PatternBytes(1 << 20);
  server.Put("/Vq/VQ.Zip", body);
  // The first download starts whatever threads WinHTTP keeps for itself.
  ASSERT_EQ(urls.DownloadToFile(Url("/Vq/VQ.Zip"), dir / "VQ.Zip", nullptr), 0);
  const int threads = ThreadCount();
  CountingObserver stopping;
  stopping.stopAtTick = 2;
  EXPECT_EQ(urls.DownloadToFile(Url("/Vq/Hush"), dir / "Hush", &stopping), UrlServices::kAborted);
  ThreadCountingObserver next;
  ASSERT_EQ(urls.DownloadToFile(Url("/Vq/VQ.Zip"), dir / "VQ.Zip", &next), 0);
  // Its own worker only.
  EXPECT_LE(next.threads, threads + 1);
  EXPECT_EQ(dir.Read("VQ.Zip"), body);
}

// A resume that fails keeps no part file, and a part that cannot be continued (a 416 or
// a rest under another validator, from a server that ignores If-Range) is replaced by the
// whole file within the same call; the new validator stays.
TEST_F(WinHttpUrlServicesTest, FailedAnswersKeepNoPartAndStalePartsAreFetchedWhole) {
  std::filesystem::create_directories(dir / "Partial");
  auto attempt = [&](const std::string& path) {
    return urls.ResumeToFile(Url(path), dir / "VQ.Zip", dir / "Partial/VQ.Zip", nullptr,
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

// Delta downloads against whole downloads of the same archive.
//
//   delta_bench [SCALE_PERCENT] [RATE_BYTES_PER_SECOND]
//
// Generates an application of 200 files of incompressible bytes, about 60 MB zipped with a
// 5 MB executable among them (SCALE_PERCENT scales every file, default 100), installs it,
// and publishes next releases in which (a) the executable changed, (b) 10 % of the files
// changed, (c) every file changed, (d) half of the files changed. Each release is served by
// the tests' in-process server with multiple ranges, without them (several ranges answered
// with the whole file) and, at full speed, by a server that answers at most 10 parts per
// request (goal: within 1.1 x the bytes of the multi-range case), at full speed and
// throttled (RATE, default 2 MB/s; 0 leaves the throttled runs out). For each
// it prints the bytes a delta fetched, its requests and time against the whole download,
// and the goal: in (a) and (b) at most 1.05 x the changed members' compressed size plus the
// directory plus 64 KiB, in (c) at most 1 % more than the whole download. Separately it
// times the CRC-32 pass over 100 MB of installed files that finds the unchanged members, and
// release (d) from a server of one range per request with a delay per request and per new
// connection, each request on a connection of its own against one connection for the run.
// Targets are reported, not asserted.
#include <zip.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "delta/DeltaDownload.h"
#include "platform/posix/CurlUrlServices.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/ArchiveMaker.h"
#include "support/ScriptedRanges.h"
#include "support/TestServer.h"
#include "zipformat/InstalledFiles.h"
#include "zipformat/ZipMember.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kFiles = 200;
constexpr size_t kExeBytes = 5'000'000;
constexpr size_t kOtherBytes = 278'000;

std::string Bytes(size_t size, uint32_t seed) {
  return qz::test::ArchiveMaker::Incompressible(size, seed);
}

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

struct Release {
  std::vector<std::string> names;
  std::vector<std::string> contents;
};

Release Generate(int scale, int changedEvery, uint32_t version) {
  Release release;
  for (int i = 0; i < kFiles; ++i) {
    const size_t size = (i == 0 ? kExeBytes : kOtherBytes) * static_cast<size_t>(scale) / 100;
    const bool changed = changedEvery > 0 && i % changedEvery == 0;
    release.names.push_back(i == 0 ? "bin/Vq.exe" : "lib/file" + std::to_string(i) + ".dat");
    release.contents.push_back(
        Bytes(size, static_cast<uint32_t>(i) * 7919u + (changed ? version : 0)));
  }
  return release;
}

std::string Zip(const Release& release, const std::string& path) {
  qz::test::ArchiveMaker maker(path);
  for (size_t i = 0; i < release.names.size(); ++i)
    maker.Add(release.names[i], release.contents[i]);
  maker.Close();
  return Read(path);
}

// The compressed size of the members whose content differs from `installed`.
uint64_t ChangedCompressed(const std::string& path, const Release& next, const Release& installed) {
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, nullptr);
  uint64_t total = 0;
  for (size_t i = 0; i < next.names.size(); ++i) {
    if (next.contents[i] == installed.contents[i]) continue;
    zip_stat_t stat;
    zip_stat(archive, next.names[i].c_str(), 0, &stat);
    total += stat.comp_size + 30 + next.names[i].size();
  }
  zip_close(archive);
  return total;
}

// The central directory's size as the archive's end record gives it.
uint64_t DirectorySize(const std::string& archive) {
  const size_t at = archive.size() - 22 + 12;
  uint64_t size = 0;
  for (int i = 3; i >= 0; --i) size = (size << 8) | static_cast<unsigned char>(archive[at + i]);
  return size;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Install(const Release& release, const std::string& folder) {
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  for (size_t i = 0; i < release.names.size(); ++i) {
    const std::string name = qz::InstalledFiles::TargetName(release.names[i]);
    std::ofstream(folder + "/" + name, std::ios::binary) << release.contents[i];
  }
}

void TimeHashing(const std::string& work) {
  const std::string folder = work + "/hashing";
  Release hundred;
  for (int i = 0; i < 100; ++i) {
    hundred.names.push_back("f" + std::to_string(i));
    hundred.contents.push_back(Bytes(1'000'000, static_cast<uint32_t>(i)));
  }
  Install(hundred, folder);
  qz::PosixFileSystem files;
  qz::InstalledFiles installed(files, folder);
  // A signed release also compares each file's SHA-256 with its member's signed one.
  for (const std::string& signedSha256 : {std::string(), std::string(64, '0')}) {
    const auto start = Clock::now();
    int held = 0;
    for (const std::string& name : hundred.names) {
      qz::ZipMember member;
      member.name = name;
      member.uncompressedSize = 1'000'000;
      held += installed.Holds(member, signedSha256) ? 1 : 0;
    }
    std::printf("%s of 100 installed files, 100 MB: %.3f s (goal: under 1 s)%s\n",
                signedSha256.empty() ? "CRC-32" : "CRC-32 and SHA-256", Seconds(start),
                held != 0 ? " (unexpected match)" : "");
  }
}

// Every request on a connection of its own, as each transfer made it before the runs
// shared one: what a delta cost on a server that answers one range per request.
class FreshConnections : public qz::UrlServices {
 public:
  void DeleteCacheEntry(const std::string&) override {}
  int32_t DownloadToFile(const std::string& url, const std::string& path,
                         qz::TransferObserver* observer, uint64_t maxBytes) override {
    return qz::CurlUrlServices().DownloadToFile(url, path, observer, maxBytes);
  }
  qz::RangeReply FetchRanges(const std::string& url, const std::vector<qz::ByteRange>& ranges,
                             const std::string& ifRange, qz::RangeReceiver& receiver) override {
    return qz::CurlUrlServices().FetchRanges(url, ranges, ifRange, receiver);
  }
};

// A delta of release `next` from a server that answers one range per request, 50 ms before
// each answer and 100 ms more on a new connection (a distant server's round trip, and the
// TCP and TLS handshakes), with a connection per request and with one for the run.
void TimeConnections(const std::string& work, const std::string& app, const std::string& archive) {
  qz::test::ScriptedRanges::Script onePart;
  onePart.maxParts = 1;
  qz::PosixFileSystem files;
  for (const bool shared : {false, true}) {
    qz::test::TestServer server;
    qz::test::ScriptedRanges scripted(archive, "\"bench\"", onePart);
    server.Route("/VQ.Zip", scripted.Handler());
    server.DelayAnswers(std::chrono::milliseconds(50), std::chrono::milliseconds(100));
    FreshConnections fresh;
    qz::CurlUrlServices reused;
    qz::UrlServices& urls = shared ? static_cast<qz::UrlServices&>(reused) : fresh;
    qz::DeltaDownload delta(urls, files, app);
    const auto start = Clock::now();
    const qz::DeltaDownload::Outcome outcome =
        delta.Run(server.Root() + "/VQ.Zip", work + "/staged.zip", "", nullptr);
    std::printf(
        "one range per request, 50 ms a request, 100 ms a connection, %s: %d requests, "
        "%zu connections, %.2f s%s\n",
        shared ? "one connection per run" : "a connection per request", outcome.requests,
        server.Connections(), Seconds(start),
        outcome.result == qz::DeltaDownload::Result::kDone ? "" : " (no delta)");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int scale = argc > 1 ? std::atoi(argv[1]) : 100;
  const size_t rate = argc > 2 ? static_cast<size_t>(std::atoll(argv[2])) : 2'000'000;
  const std::string work = std::filesystem::temp_directory_path() / "qz-delta-bench";
  std::filesystem::create_directories(work);
  TimeHashing(work);

  const Release installed = Generate(scale, 0, 0);
  const std::string app = work + "/app";
  Install(installed, app);
  qz::test::TestServer server;
  qz::CurlUrlServices urls;
  qz::PosixFileSystem files;
  const std::string url = server.Root() + "/VQ.Zip";
  qz::test::ScriptedRanges::Script tenParts;
  tenParts.maxParts = 10;

  std::printf("%-14s %-8s %-6s %12s %12s %9s %8s %8s %12s %s\n", "release", "ranges", "link",
              "archive", "fetched", "requests", "delta s", "whole s", "goal bytes", "result");
  const struct {
    const char* name;
    int changedEvery;
  } releases[] = {{"(a) executable", -1}, {"(b) 10 %", 10}, {"(c) all", 1}, {"(d) 50 %", 2}};
  for (const auto& [name, changedEvery] : releases) {
    Release next = Generate(scale, changedEvery < 0 ? 0 : changedEvery, 1);
    if (changedEvery < 0) next.contents[0] = Bytes(next.contents[0].size(), 424242);
    const std::string zipPath = work + "/next.zip";
    const std::string archive = Zip(next, zipPath);
    const uint64_t changed = ChangedCompressed(zipPath, next, installed);
    server.Put("/VQ.Zip", archive);
    const uint64_t directory = DirectorySize(archive);
    const double goal = changedEvery == 1 ? 1.01 * static_cast<double>(archive.size())
                                          : 1.05 * static_cast<double>(changed) +
                                                static_cast<double>(directory + 65536);
    std::vector<size_t> links{0};
    if (rate != 0) links.push_back(rate);
    for (size_t link : links) {
      server.LimitRate(link);
      server.RefuseMultipleRanges(false);
      auto start = Clock::now();
      if (urls.DownloadToFile(url, work + "/whole.zip") != 0) return 1;
      const double wholeSeconds = Seconds(start);
      uint64_t multiBytes = 0;
      for (const char* mode : {"multi", "single", "max10"}) {
        const bool limited = std::string(mode) == "max10";
        if (limited && link != 0) continue;
        server.RefuseMultipleRanges(std::string(mode) == "single");
        // At most 10 parts per reply: a server of its own, whose answers the script shapes.
        qz::test::TestServer tenRanges;
        qz::test::ScriptedRanges scripted(archive, "\"bench\"", tenParts);
        tenRanges.Route("/VQ.Zip", scripted.Handler());
        qz::DeltaDownload delta(urls, files, app);
        start = Clock::now();
        const qz::DeltaDownload::Outcome outcome = delta.Run(
            limited ? tenRanges.Root() + "/VQ.Zip" : url, work + "/staged.zip", "", nullptr);
        double deltaSeconds = Seconds(start);
        const bool done = outcome.result == qz::DeltaDownload::Result::kDone;
        // Without a delta the whole archive follows, as the updater downloads it.
        if (!done) deltaSeconds += wholeSeconds;
        const uint64_t fetched = outcome.fetchedBytes + (done ? 0 : archive.size());
        if (std::string(mode) == "multi") multiBytes = fetched;
        const double modeGoal = limited ? 1.1 * static_cast<double>(multiBytes) : goal;
        std::printf("%-14s %-8s %-6s %12zu %12llu %9d %8.2f %8.2f %12.0f %s\n", name, mode,
                    link == 0 ? "full" : "slow", archive.size(),
                    static_cast<unsigned long long>(fetched), outcome.requests + (done ? 0 : 1),
                    deltaSeconds, wholeSeconds, modeGoal,
                    done ? (static_cast<double>(fetched) <= modeGoal ? "delta, goal met"
                                                                     : "delta, over goal")
                         : ("whole: " + outcome.reason).c_str());
      }
    }
  }
  Release half = Generate(scale, 2, 1);
  TimeConnections(work, app, Zip(half, work + "/half.zip"));
  std::filesystem::remove_all(work);
  return 0;
}

// Database files fetched by their changed pages against whole downloads.
//
//   page_bench [LARGE_MB] [RATE_BYTES_PER_SECOND]
//
// Generates a page database of about 20 MB (4 KiB pages of rows of about 200 bytes, as the
// Jet database holds them), installs it, and publishes a next version in which 1 % of the
// rows changed and 1.25 % were added; with LARGE_MB (e.g. 500; default 0 leaves it out) a
// second one of that size in 8 KiB pages with 0.5 % of its pages changed. Each is packed
// with its page companion and served by the tests' in-process server (whose throttled
// answers break several ranges, so a link of RATE bytes a second, default 2 MB/s, is added
// as the bytes' time to the time on 127.0.0.1). It prints the bytes fetched against the changed
// pages deflated plus the companion's header (goal: at most 1.2 x) and against the whole file, the
// requests and times, and, in a process of its own, the time and peak memory of finding the
// installed file's unchanged pages (goal: under 2 s and 64 MiB for 500 MB). Targets are reported,
// not asserted.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "pagedelta/InstalledPages.h"
#include "pagedelta/PageCompanionWriter.h"
#include "pagedelta/PageDownload.h"
#include "pagedelta/PageIndex.h"
#include "platform/posix/CurlUrlServices.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/TestServer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kRowBytes = 200;

// On a shared machine the processor time tells more than the time that passed.
double CpuSeconds(clockid_t clock) {
  timespec now{};
  clock_gettime(clock, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

uint32_t Next(uint32_t& state) {
  state = state * 1103515245u + 12345u;
  return state >> 8;
}

// A row of text and numbers from its key and version, as compressible as a database's.
std::string Row(uint64_t key, uint32_t version) {
  static const char* const kWords[] = {"Smith", "Jones", "Vq Prime", "invoice", "paid",
                                       "open",  "North", "South",    "Widget",  "Gadget"};
  uint32_t state = static_cast<uint32_t>(key * 2654435761u) ^ version;
  std::string row = "K" + std::to_string(key) + "|";
  while (row.size() < kRowBytes) {
    row += kWords[Next(state) % 10];
    row += "|" + std::to_string(Next(state) % 100000) + "|";
  }
  return row.substr(0, kRowBytes);
}

// Rows `rows` long written in pages of `pageSize` with a small page header; `versions` gives
// the rows that changed.
void WritePages(const std::string& path, uint64_t rows, size_t pageSize,
                const std::set<uint64_t>& changed) {
  std::ofstream out(path, std::ios::binary);
  const size_t perPage = (pageSize - 16) / kRowBytes;
  std::string page;
  for (uint64_t key = 0, number = 0; key < rows; ++number) {
    page = "PAGE" + std::to_string(number);
    page.resize(16, ' ');
    for (size_t i = 0; i < perPage && key < rows; ++i, ++key) {
      page += Row(key, changed.count(key) != 0 ? 1 : 0);
    }
    page.resize(pageSize, '\0');
    out << page;
  }
}

std::string Read(const std::string& path, size_t limit = SIZE_MAX) {
  std::ifstream in(path, std::ios::binary);
  std::string bytes;
  bytes.resize(limit == SIZE_MAX ? std::filesystem::file_size(path) : limit);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<size_t>(in.gcount()));
  return bytes;
}

qz::PageIndex IndexOf(const std::string& companionPath) {
  const std::string fixed = Read(companionPath, qz::PageIndex::kFixedBytes);
  return qz::PageIndex::Parse(Read(companionPath, qz::PageIndex::HeaderLength(fixed)));
}

// Run in a process of its own, so its peak memory is its own.
int FindOnly(const std::string& installed, const std::string& companion) {
  qz::PosixFileSystem files;
  const qz::PageIndex index = IndexOf(companion);
  const auto start = Clock::now();
  const double cpuStart = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID);
  const std::vector<uint64_t> sources = qz::InstalledPages::Find(files, installed, index);
  const double cpu = CpuSeconds(CLOCK_PROCESS_CPUTIME_ID) - cpuStart;
  size_t kept = 0;
  for (uint64_t source : sources) kept += source != qz::InstalledPages::kMissing ? 1 : 0;
  const double seconds = Seconds(start);
  // The high-water mark of this process alone: exec started it with a memory of its own.
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line) && line.rfind("VmHWM:", 0) != 0) {
  }
  std::printf(
      "    find: %zu of %zu pages held, %.3f s (%.3f s of CPU), peak memory of the "
      "process %.1f MiB (goal: 2 s and 64 MiB for 500 MB)\n",
      kept, sources.size(), seconds, cpu, std::strtod(line.c_str() + 6, nullptr) / 1024.0);
  return 0;
}

void TimeFind(const char* self, const std::string& installed, const std::string& companion) {
  std::fflush(stdout);
  const pid_t child = fork();
  if (child == 0) {
    execl(self, self, "--find", installed.c_str(), companion.c_str(), nullptr);
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
}

void Case(const char* self, const std::string& name, const std::string& work, uint64_t rows,
          size_t pageSize, const std::set<uint64_t>& changed, uint64_t addedRows, size_t rate) {
  const std::string installed = work + "/installed.db";
  const std::string published = work + "/Data.TXT";
  const std::string companion = work + "/Data.PGZ";
  WritePages(installed, rows, pageSize, {});
  WritePages(published, rows + addedRows, pageSize, changed);
  qz::PosixFileSystem files;
  auto start = Clock::now();
  qz::PageCompanionWriter::Write(files, published, companion, static_cast<uint32_t>(pageSize));
  const double packSeconds = Seconds(start);
  const qz::PageIndex index = IndexOf(companion);
  // The pages that differ, deflated, as the goal counts them.
  const std::string old = Read(installed);
  const std::string next = Read(published);
  uint64_t differing = 0;
  uint64_t deflated = 0;
  for (size_t i = 0; i < index.chunks.size(); ++i) {
    const uint64_t at = i * pageSize;
    if (at + pageSize <= old.size() && old.compare(at, pageSize, next, at, pageSize) == 0) continue;
    ++differing;
    deflated += index.chunks[i].stored;
  }
  const double goal = 1.2 * static_cast<double>(deflated + index.headerLength);
  std::printf(
      "%s: %zu bytes in %zu pages of %zu, %llu pages differ (%.1f %%); companion %llu "
      "bytes (header %llu), packed in %.2f s\n",
      name.c_str(), next.size(), index.chunks.size(), pageSize,
      static_cast<unsigned long long>(differing),
      100.0 * static_cast<double>(differing) / static_cast<double>(index.chunks.size()),
      static_cast<unsigned long long>(index.CompanionSize()),
      static_cast<unsigned long long>(index.headerLength), packSeconds);
  TimeFind(self, installed, companion);

  qz::test::TestServer server;
  server.Put("/Data.TXT", next);
  server.Put("/Data.PGZ", Read(companion));
  qz::CurlUrlServices urls;
  const std::string app = work + "/app";
  std::filesystem::create_directories(app);
  std::filesystem::copy_file(installed, app + "/Data.Mdb",
                             std::filesystem::copy_options::overwrite_existing);
  qz::PageDownload pages(urls, files);
  start = Clock::now();
  const double cpuStart = CpuSeconds(CLOCK_THREAD_CPUTIME_ID);
  const qz::PageDownload::Outcome outcome =
      pages.Run(server.Root() + "/Data.TXT", server.Root() + "/Data.PGZ", app + "/Data.Mdb",
                work + "/staged.db", "", nullptr);
  const double seconds = Seconds(start);
  const double cpu = CpuSeconds(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
  const bool identical =
      outcome.result == qz::PageDownload::Result::kDone && Read(work + "/staged.db") == next;
  // Each part of a multipart answer has a boundary and headers of its own.
  size_t parts = 0;
  for (const std::string& asked : server.RangesAsked()) {
    parts +=
        asked.empty() ? 0 : 1 + static_cast<size_t>(std::count(asked.begin(), asked.end(), ','));
  }
  std::printf("    %zu ranges asked; their part headers, at about 100 bytes each, add %.1f %%\n",
              parts,
              100.0 * static_cast<double>(parts * 100) / static_cast<double>(outcome.fetchedBytes));
  start = Clock::now();
  urls.DownloadToFile(server.Root() + "/Data.TXT", work + "/whole.db");
  const double wholeSeconds = Seconds(start);
  std::printf(
      "    fetched %llu bytes in %d requests (%.2f x the changed pages deflated plus the "
      "header, goal 1.2 x: %s); whole download %zu bytes (%.1f x the fetched bytes)\n",
      static_cast<unsigned long long>(outcome.fetchedBytes), outcome.requests,
      static_cast<double>(outcome.fetchedBytes) /
          static_cast<double>(deflated + index.headerLength),
      !identical                                          ? ("FAILED: " + outcome.reason).c_str()
      : static_cast<double>(outcome.fetchedBytes) <= goal ? "met"
                                                          : "missed",
      next.size(), static_cast<double>(next.size()) / static_cast<double>(outcome.fetchedBytes));
  // The link's time for the bytes added to what the run took on 127.0.0.1.
  const double rateSeconds = static_cast<double>(rate) > 0 ? 1.0 / static_cast<double>(rate) : 0;
  std::printf(
      "    127.0.0.1: %.2f s (the updater's thread %.2f s of CPU) against %.2f s whole; "
      "at %.1f MB/s: %.2f s against %.2f s\n",
      seconds, cpu, wholeSeconds, static_cast<double>(rate) / 1e6,
      seconds + static_cast<double>(outcome.fetchedBytes) * rateSeconds,
      wholeSeconds + static_cast<double>(next.size()) * rateSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--find") return FindOnly(argv[2], argv[3]);
  const uint64_t largeMb = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 0;
  const size_t rate = argc > 2 ? static_cast<size_t>(std::atoll(argv[2])) : 2'000'000;
  const std::string work = std::filesystem::temp_directory_path() / "qz-page-bench";
  std::filesystem::create_directories(work);

  // About 20 MB: 100,000 rows in 4 KiB pages; 1 % of them updated, 1.25 % added.
  const uint64_t rows = 100'000;
  std::set<uint64_t> updated;
  uint32_t state = 7;
  while (updated.size() < rows / 100) updated.insert(Next(state) % rows);
  Case(argv[0], "20 MB, 4 KiB pages", work, rows, 4096, updated, rows / 80, rate);

  if (largeMb > 0) {
    // 8 KiB pages of 40 rows; 0.5 % of the pages get one updated row each.
    const size_t pageSize = 8192;
    const uint64_t perPage = (pageSize - 16) / kRowBytes;
    const uint64_t pages = largeMb * 1'000'000 / pageSize;
    std::set<uint64_t> changed;
    while (changed.size() < pages / 200) changed.insert((Next(state) % pages) * perPage);
    Case(argv[0], std::to_string(largeMb) + " MB, 8 KiB pages", work, pages * perPage, pageSize,
         changed, 0, rate);
  }
  std::filesystem::remove_all(work);
  return 0;
}

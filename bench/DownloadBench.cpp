// Whole-file download benchmark: the updater's download step against the curl command line.
//
//   download_bench [RUNS] [BUFFER_KIB]
//
// Serves a generated 512 MiB file from a server on 127.0.0.1 in this process and downloads
// it RUNS times (default 7) with each client, alternating: the updater in a child process
// of this program, and `curl -s -o FILE URL`. It prints the median throughput of both and
// their ratio (target: the updater reaches 0.95 of curl), and the peak resident memory that
// the updater's download adds to its process (target: under 20 MiB). Both clients run as
// child processes timed from spawn to exit, so each pays for starting a program.
//
// The updater commits a download only after flushing it to disk, while curl leaves its file
// in the page cache; the "curl+fsync" column adds a flush of curl's file so both sides can
// also be compared doing the same work. The "write+fsync" column writes the same amount from
// memory into a file and flushes it, without any network: the most that a client which
// flushes its file can reach on this disk.
//
// BUFFER_KIB replaces the updater's receive buffer size for the run (default: the size the
// updater uses), to choose that size by measurement.
//
// Targets are reported, not asserted; the exit status is non-zero only when a download
// fails or comes out the wrong size. Internal modes, used by the benchmark itself:
//   download_bench --child URL PATH BUFFER_BYTES   downloads through the updater, prints
//                                                  its peak KiB
//   download_bench --baseline         does the same without the download
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/CurlUrlServices.h"
#include "support/TestServer.h"

extern char** environ;

namespace {

constexpr uint64_t kFileSize = uint64_t{512} << 20;
constexpr uint64_t kWarmUpSize = uint64_t{1} << 20;
constexpr size_t kPiece = size_t{64} << 10;
constexpr int kDefaultRuns = 7;
constexpr double kRatioTarget = 0.95;
constexpr long kGrowthTargetKiB = 20 << 10;
constexpr const char* kFilePath = "/VQ.Zip";
constexpr const char* kWarmUpPath = "/WarmUp.bin";

// Peak resident memory of this process's address space. ru_maxrss cannot serve in a spawned
// child: on exec the kernel carries the spawning process's peak over into the child's.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

// The child's side: the download (none for the baseline), then its peak memory on stdout.
int RunChild(const char* url, const char* path, long bufferBytes) {
  qz::CurlUrlServices urls(qz::StallDetector::kDefaultLimit, bufferBytes);
  // The resumable download is the one the updater uses for its archive.
  int32_t code = url == nullptr ? 0
                                : urls.ResumeToFile(url, path, std::string(path) + ".partial",
                                                    nullptr, qz::UrlServices::kNoLimit);
  if (code != 0) std::fprintf(stderr, "ResumeToFile returned %d\n", code);
  std::printf("%ld\n", PeakResidentKiB());
  return code == 0 ? 0 : 1;
}

// Answers with `size` bytes produced piece by piece, so the server holds one piece only.
httplib::Server::Handler GeneratedBody(uint64_t size) {
  auto piece = std::make_shared<std::string>(kPiece, '\0');
  for (size_t i = 0; i < kPiece; ++i) (*piece)[i] = static_cast<char>(i * 131 % 251);
  return [size, piece](const httplib::Request&, httplib::Response& response) {
    response.set_content_provider(size, "application/octet-stream",
                                  [piece](size_t offset, size_t left, httplib::DataSink& sink) {
                                    size_t start = offset % kPiece;
                                    return sink.write(piece->data() + start,
                                                      std::min(left, kPiece - start));
                                  });
  };
}

struct Finished {
  bool ok = false;
  int exitStatus = -1;  // -1 when it could not start or did not exit normally
  double seconds = 0;
  // User and system time of the child itself.
  double cpuSeconds = 0;
  std::string output;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double TimevalSeconds(const timeval& time) {
  return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
}

std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[256];
  ssize_t count = 0;
  while ((count = read(fd, buffer, sizeof buffer)) != 0) {
    if (count > 0) text.append(buffer, static_cast<size_t>(count));
    if (count < 0 && errno != EINTR) break;
  }
  return text;
}

// Runs `args` (the program looked up in PATH) to its end with its stdout captured; ok when
// it exits with status 0.
Finished Run(const std::vector<std::string>& args) {
  Finished finished;
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    std::perror("cannot create a pipe");
    return finished;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);

  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (error == 0) {
    finished.output = ReadToEnd(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    finished.seconds = SecondsSince(start);
    finished.cpuSeconds = TimevalSeconds(usage.ru_utime) + TimevalSeconds(usage.ru_stime);
    if (WIFEXITED(status)) finished.exitStatus = WEXITSTATUS(status);
    finished.ok = finished.exitStatus == 0;
  } else {
    std::fprintf(stderr, "cannot start %s: %s\n", argv[0], std::strerror(error));
  }
  close(pipeEnds[0]);
  return finished;
}

// A download is good when its client succeeded and the file has the served size.
bool Downloaded(const Finished& finished, const std::string& path, uint64_t size,
                const char* client) {
  std::error_code error;
  uint64_t actual = std::filesystem::file_size(path, error);
  if (finished.ok && !error && actual == size) return true;
  if (finished.ok) {
    std::fprintf(stderr, "%s download failed: %llu bytes instead of %llu\n", client,
                 static_cast<unsigned long long>(error ? 0 : actual),
                 static_cast<unsigned long long>(size));
  } else {
    std::fprintf(stderr, "%s download failed: exit status %d\n", client, finished.exitStatus);
  }
  return false;
}

double FlushSeconds(const std::string& path) {
  auto start = std::chrono::steady_clock::now();
  int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return SecondsSince(start);
}

// Writes kFileSize bytes from memory to `path` in pieces of kPiece and flushes them.
double DurableWriteSeconds(const std::string& path) {
  const std::string piece(kPiece, '\x5a');
  auto start = std::chrono::steady_clock::now();
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  bool ok = true;
  for (uint64_t written = 0; ok && written < kFileSize; written += kPiece) {
    ok = write(fd, piece.data(), piece.size()) == static_cast<ssize_t>(piece.size());
  }
  ok = fsync(fd) == 0 && ok;
  close(fd);
  double seconds = SecondsSince(start);
  std::filesystem::remove(path);
  return ok ? seconds : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double MegabytesPerSecond(double seconds) {
  return static_cast<double>(kFileSize) / 1e6 / seconds;
}

struct Figures {
  std::vector<double> updater, curl, curlFlushed, durableWrite;
  // CPU seconds of each client per run: on a busy machine wall-clock figures swing with the
  // other load, while the work a client does per file stays steady.
  std::vector<double> updaterCpu, curlCpu;
  long peakKiB = 0;
};

void PrintSummary(const Figures& figures, long baselineKiB) {
  double updater = Median(figures.updater);
  double curl = Median(figures.curl);
  double flushed = Median(figures.curlFlushed);
  double durable = Median(figures.durableWrite);
  long growth = figures.peakKiB - baselineKiB;
  double updaterCpu = Median(figures.updaterCpu);
  double curlCpu = Median(figures.curlCpu);
  std::printf("%-6s %12.1f %12.1f %12.1f %12.1f %12.2f %12.2f\n", "median", updater, curl, flushed,
              durable, updaterCpu, curlCpu);
  std::printf("\nupdater / curl        %5.2f  (target >= %.2f: %s)\n", updater / curl, kRatioTarget,
              updater / curl >= kRatioTarget ? "met" : "missed");
  std::printf("CPU time curl / updater %5.2f\n", curlCpu / updaterCpu);
  std::printf("updater / curl+fsync  %5.2f\n", updater / flushed);
  std::printf("updater / write+fsync %5.2f  (a client that flushes cannot pass 1.00 by much)\n",
              updater / durable);
  std::printf(
      "peak RSS growth of the updater's download: %.1f MiB (peak %.1f MiB, baseline %.1f "
      "MiB; target < %ld MiB: %s)\n",
      growth / 1024.0, figures.peakKiB / 1024.0, baselineKiB / 1024.0, kGrowthTargetKiB / 1024,
      growth < kGrowthTargetKiB ? "met" : "missed");
}

// One round: the updater, then curl, each into an empty folder; returns false on a failure.
bool Round(const std::string& self, const std::string& url, const std::string& folder,
           const std::string& buffer, Figures& figures) {
  std::string path = folder + "/VQ.Zip";
  Finished updater = Run({self, "--child", url, path, buffer});
  if (!Downloaded(updater, path, kFileSize, "updater")) return false;
  std::filesystem::remove(path);
  figures.updater.push_back(MegabytesPerSecond(updater.seconds));
  figures.updaterCpu.push_back(updater.cpuSeconds);
  figures.peakKiB = std::max(figures.peakKiB, std::atol(updater.output.c_str()));

  Finished curl = Run({"curl", "-s", "-o", path, url});
  if (!Downloaded(curl, path, kFileSize, "curl")) return false;
  double flush = FlushSeconds(path);
  std::filesystem::remove(path);
  figures.curl.push_back(MegabytesPerSecond(curl.seconds));
  figures.curlCpu.push_back(curl.cpuSeconds);
  figures.curlFlushed.push_back(MegabytesPerSecond(curl.seconds + flush));

  double durable = DurableWriteSeconds(path);
  if (durable < 0) {
    std::fprintf(stderr, "cannot write and flush %s\n", path.c_str());
    return false;
  }
  figures.durableWrite.push_back(MegabytesPerSecond(durable));
  return true;
}

int Benchmark(const std::string& folder, int runs, long bufferBytes) {
  qz::test::TestServer server;
  server.Route(kFilePath, GeneratedBody(kFileSize));
  server.Route(kWarmUpPath, GeneratedBody(kWarmUpSize));
  std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  std::string url = server.Root() + kFilePath;
  std::string warmUpUrl = server.Root() + kWarmUpPath;
  std::string warmUpFile = folder + "/WarmUp.bin";
  std::string buffer = std::to_string(bufferBytes);

  // Brings both programs and their libraries into memory before anything is timed.
  if (!Downloaded(Run({self, "--child", warmUpUrl, warmUpFile, buffer}), warmUpFile, kWarmUpSize,
                  "updater") ||
      !Downloaded(Run({"curl", "-s", "-o", warmUpFile, warmUpUrl}), warmUpFile, kWarmUpSize,
                  "curl")) {
    return 1;
  }
  std::filesystem::remove(warmUpFile);
  Finished baseline = Run({self, "--baseline"});
  if (!baseline.ok) {
    std::fprintf(stderr, "the baseline child failed\n");
    return 1;
  }

  std::printf(
      "%d runs each of a %llu MiB download from 127.0.0.1, MB/s (10^6 bytes/s), updater's "
      "receive buffer %ld KiB\n",
      runs, static_cast<unsigned long long>(kFileSize >> 20), bufferBytes >> 10);
  std::printf("%-6s %12s %12s %12s %12s %12s %12s\n", "run", "updater", "curl", "curl+fsync",
              "write+fsync", "updater cpu", "curl cpu");
  Figures figures;
  for (int run = 1; run <= runs; ++run) {
    if (!Round(self, url, folder, buffer, figures)) return 1;
    std::printf("%-6d %12.1f %12.1f %12.1f %12.1f %12.2f %12.2f\n", run, figures.updater.back(),
                figures.curl.back(), figures.curlFlushed.back(), figures.durableWrite.back(),
                figures.updaterCpu.back(), figures.curlCpu.back());
    std::fflush(stdout);
  }
  PrintSummary(figures, std::atol(baseline.output.c_str()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--child") == 0) {
    return RunChild(argv[2], argv[3], std::atol(argv[4]));
  }
  if (argc == 2 && std::strcmp(argv[1], "--baseline") == 0) {
    return RunChild(nullptr, nullptr, qz::CurlUrlServices::kReceiveBufferBytes);
  }
  int runs = argc > 1 ? std::atoi(argv[1]) : kDefaultRuns;
  long bufferBytes = argc > 2 ? std::atol(argv[2]) << 10 : qz::CurlUrlServices::kReceiveBufferBytes;
  if (runs < 1 || bufferBytes < 1024 || bufferBytes > (512 << 10)) {
    std::fprintf(stderr, "usage: %s [RUNS] [BUFFER_KIB: 1 to 512]\n", argv[0]);
    return 2;
  }
  std::string folder = (std::filesystem::temp_directory_path() / "qzdlbench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    std::perror("cannot create a temporary folder");
    return 1;
  }
  int result = 1;
  try {
    result = Benchmark(folder, runs, bufferBytes);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return result;
}

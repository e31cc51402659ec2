// Times the extraction library against the unzip command on one generated archive of a
// few thousand mixed files (~200 MiB): the install's test pass (unzip -t -q) and its
// flat extraction (unzip -o -q -j), alternating, median of several runs each, with the
// peak resident memory of each run. Every run and the archive's generation are processes
// of their own. A child's reported peak includes the memory of the process that started
// it at that moment, so the benchmark's own peak is printed as the floor of those figures.
//
//   unzip_bench [runs [command...]]   runs default 5; exits non-zero when a target is missed
//
// With a command, the library's passes run through it instead of this program, e.g.
// `wine build-windows/bin/unzip_bench.exe`: unzip32.dll under Wine on the same archive.
// The Windows build of this program has only that side.

#ifndef _WIN32
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fcntl.h>
#endif
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/Prompts.h"
#include "unzip/CGUnzipFiles.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 3000;
constexpr double kMiB = 1024.0 * 1024.0;

class NoPrompts : public qz::Prompts {
 public:
  qz::MsgBoxResult MsgBox(const std::string&, int, const std::string&) override {
    return qz::MsgBoxResult::kCancel;
  }
  std::string InputBox(const std::string&, const std::string&, const std::string&) override {
    return {};
  }
  void DoEvents() override {}
  void SetBusyPointer(bool) override {}
};

// The child side: one pass through CGUnzipFiles, as the install runs it.
int RunPass(const std::string& mode, const std::string& archive, const std::string& folder) {
  NoPrompts prompts;
  qz::CGUnzipFiles unzip(prompts, QZ_UNZIP32_FOLDER);
  unzip.SetZipFileName(archive);
  unzip.SetExtractDir(folder);
  unzip.SetHonorDirectories(false);
  unzip.SetTestZip(mode == "test");
  int32_t result = mode == "idle" ? 0 : unzip.Unzip("", "");
  if (result != 0) std::fprintf(stderr, "%s", unzip.GetLastMessage().c_str());
  return result;
}

// Text-like data that compresses about as well as program resources and documents do.
std::string Compressible(std::mt19937_64& random, size_t size) {
  static const char* words[] = {"update ",   "version ", "install ", "database ", "record ",
                                "customer ", "invoice ", "\r\n",     "0x1F ",     "Vq "};
  std::string data;
  while (data.size() < size) data += words[random() % 10];
  data.resize(size);
  return data;
}

std::string Incompressible(std::mt19937_64& random, size_t size) {
  std::string data((size + 7) / 8 * 8, '\0');
  for (size_t at = 0; at < data.size(); at += 8) {
    uint64_t word = random();
    std::memcpy(&data[at], &word, 8);
  }
  data.resize(size);
  return data;
}

// Sizes of a few thousand files: mostly small, some large; an archive of ~200 MiB.
bool IsLarge(int index) {
  return index % 50 == 0;
}

size_t FileSize(std::mt19937_64& random, int index) {
  if (IsLarge(index)) return 2'000'000 + random() % 4'000'000;
  return 1'000 + random() % 100'000;
}

// Every other file of each size class is random data.
bool IsCompressible(int index) {
  return (IsLarge(index) ? index / 50 : index) % 2 == 0;
}

// The child side of the generation: the files go to disk first, so that neither this
// process nor the benchmark holds the archive's data in memory.
int MakeArchive(const std::string& sourceFolder, const std::string& archive) {
  std::mt19937_64 random(20240601);
  int error = 0;
  zip_t* zip = zip_open(archive.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  for (int i = 0; i < kFiles; ++i) {
    std::string name = "dir" + std::to_string(i % 40) + "/sub" + std::to_string(i % 7) + "/file" +
                       std::to_string(i) + (IsCompressible(i) ? ".txt" : ".bin");
    std::string path = sourceFolder + "/" + std::to_string(i);
    size_t size = FileSize(random, i);
    std::ofstream(path, std::ios::binary)
        << (IsCompressible(i) ? Compressible(random, size) : Incompressible(random, size));
    zip_file_add(zip, name.c_str(), zip_source_file(zip, path.c_str(), 0, -1), 0);
  }
  if (zip_close(zip) != 0) throw std::runtime_error("cannot write the archive");
  return 0;
}

#ifndef _WIN32
struct Sample {
  double seconds;
  double peakMiB;
};

Sample Spawn(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  // Only errors are of interest; unzip -q still prints a summary line.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + arguments[0]);
  int status = 0;
  struct rusage usage = {};
  wait4(pid, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(arguments[0] + " " + arguments[1] + " failed");
  }
  return {seconds, usage.ru_maxrss / 1024.0};
}

double Median(std::vector<Sample> samples) {
  std::sort(samples.begin(), samples.end(),
            [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });
  return samples[samples.size() / 2].seconds;
}

double Peak(const std::vector<Sample>& samples) {
  double peak = 0;
  for (const auto& sample : samples) peak = std::max(peak, sample.peakMiB);
  return peak;
}

int Benchmark(int runs, std::vector<std::string> passes) {
  std::string work = (fs::temp_directory_path() / "qzunzip-bench-XXXXXX").string();
  if (mkdtemp(work.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  std::string archive = work + "/VQ.Zip";
  std::string out = work + "/out";
  std::string self = fs::read_symlink("/proc/self/exe").string();
  if (passes.empty()) passes = {self};
  auto pass = [&](const char* mode) {
    std::vector<std::string> command = passes;
    command.insert(command.end(), {"--child", mode, archive, out});
    return Spawn(command);
  };
  fs::create_directory(work + "/source");
  Spawn({self, "--generate", work + "/source", archive});
  fs::remove_all(work + "/source");
  std::printf("archive: %d files, %.1f MiB\n", kFiles, fs::file_size(archive) / kMiB);

  std::vector<Sample> oursTest, unzipTest, oursExtract, unzipExtract;
  auto fresh = [&] {
    fs::remove_all(out);
    fs::create_directory(out);
  };
  Sample idle = pass("idle");
  for (int run = 0; run < runs; ++run) {
    oursTest.push_back(pass("test"));
    unzipTest.push_back(Spawn({"unzip", "-t", "-q", archive}));
    fresh();
    oursExtract.push_back(pass("extract"));
    fresh();
    unzipExtract.push_back(Spawn({"unzip", "-o", "-q", "-j", archive, "-d", out}));
  }
  fs::remove_all(work);

  double testRatio = Median(oursTest) / Median(unzipTest);
  double extractRatio = Median(oursExtract) / Median(unzipExtract);
  double peak = std::max(Peak(oursTest), Peak(oursExtract));
  std::printf("test pass:   library %.3f s, unzip %.3f s, ratio %.2f\n", Median(oursTest),
              Median(unzipTest), testRatio);
  std::printf("extraction:  library %.3f s, unzip %.3f s, ratio %.2f\n", Median(oursExtract),
              Median(unzipExtract), extractRatio);
  std::printf("start-up:    a library pass without a run %.3f s (included above)\n", idle.seconds);
  struct rusage self_usage = {};
  getrusage(RUSAGE_SELF, &self_usage);
  std::printf(
      "peak RSS:    library test %.1f MiB, extraction %.1f MiB (same process without "
      "a run %.1f MiB); unzip %.1f MiB; floor %.1f MiB\n",
      Peak(oursTest), Peak(oursExtract), idle.peakMiB,
      std::max(Peak(unzipTest), Peak(unzipExtract)), self_usage.ru_maxrss / 1024.0);
  bool met = testRatio <= 1.0 && extractRatio <= 1.0 && peak < 50.0;
  std::printf("targets (ratios <= 1.00, RSS < 50 MiB): %s\n", met ? "met" : "MISSED");
  return met ? 0 : 1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 5 && std::string(argv[1]) == "--child") return RunPass(argv[2], argv[3], argv[4]);
    if (argc == 4 && std::string(argv[1]) == "--generate") return MakeArchive(argv[2], argv[3]);
#ifdef _WIN32
    std::fprintf(stderr, "unzip_bench.exe runs the passes of the Linux unzip_bench\n");
    return 2;
#else
    int runs = argc > 1 ? std::max(5, std::atoi(argv[1])) : 5;
    return Benchmark(runs, std::vector<std::string>(argv + std::min(argc, 2), argv + argc));
#endif
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "unzip_bench: %s\n", failure.what());
    return 2;
  }
}

// Times the extraction library against the unzip command, bsdtar and 7-Zip (each skipped
// when absent) on one generated archive of a few thousand mixed files, made like a real
// program's folder: text (documents, scripts, translation catalogues), binary-like files
// (libraries, fonts) and already compressed data, packed with `zip -9`. The archive is
// generated once, deterministically, into a cache folder of the build tree.
//
// Both of the install's passes: the test pass and the flat extraction. Every tool's output
// is checked once, outside the timing, to be byte-identical to the library's. Each timed
// extraction goes into a fresh folder that is deleted (and the disk synced) after the
// timing, so no tool pays for another's files. Tools alternate within each round; the
// median of the rounds is printed with the peak resident memory. With eatmydata installed,
// the library's extraction is also timed with its flushes turned into no-ops.
//
//   unzip_bench [runs [command...]]   runs default 5; exits non-zero when a target is missed
//
// With a command, the library's passes also run through it, e.g.
// `wine build-windows/bin/unzip_bench.exe`: unzip32.dll under Wine on the same archive.
// The Windows build of this program has only that side.

#ifndef _WIN32
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <fcntl.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Prompts.h"
#include "unzip/CGUnzipFiles.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
// The archive's name carries the generator's version: a changed generator makes a new one.
constexpr char kArchiveName[] = "mixed-v2.zip";
constexpr int kTextFiles = 2600;
constexpr int kBinaryFiles = 1100;
constexpr int kCompressedFiles = 400;
// 2009-02-13, so that every generation stores the same times.
constexpr time_t kFileTime = 1234567890;
// Ours against bsdtar: at least 20 % faster in both passes.
constexpr double kTargetRatio = 0.80;

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

#ifndef _WIN32
// Deterministic content that compresses and inflates about as real files of each kind do.
class Content {
 public:
  explicit Content(uint64_t seed) : random_(seed) {
    const char* syllables[] = {"ka", "re", "to", "mi", "sa", "lo", "ne", "du", "pi", "ver",
                               "in", "st", "al", "on", "ex", "up", "da", "te", "co", "fi"};
    for (int i = 0; i < 3000; ++i) {
      std::string word;
      for (int part = 0, parts = 1 + static_cast<int>(random_() % 4); part < parts; ++part) {
        word += syllables[random_() % 20];
      }
      words_.push_back(word);
    }
  }

  // A size between `low` and `high`, most of them near the low end.
  size_t Size(size_t low, size_t high) {
    double unit = std::uniform_real_distribution<double>(0, 1)(random_);
    return static_cast<size_t>(static_cast<double>(low) *
                               std::pow(static_cast<double>(high) / low, unit * unit));
  }

  // Documents, scripts and catalogues: lines of frequent and rare words.
  std::string Text(size_t size) {
    std::string data;
    while (data.size() < size) {
      data.append(random_() % 4 * 2, ' ');
      if (random_() % 5 == 0) data += "msgid \"";
      for (int i = 0, count = 3 + static_cast<int>(random_() % 10); i < count; ++i) {
        data += Word();
        data += random_() % 9 == 0 ? ", " : " ";
      }
      if (random_() % 3 == 0) {
        data += '=';
        data += std::to_string(random_() % 10000);
        data += ';';
      }
      data += ".\n";
    }
    data.resize(size);
    return data;
  }

  // Libraries and fonts: a small instruction set with addresses near each other, tables of
  // names and runs of padding.
  std::string Binary(size_t size) {
    std::string data;
    uint32_t address = static_cast<uint32_t>(random_());
    while (data.size() < size) {
      uint64_t pick = random_() % 100;
      if (pick < 80) {
        uint64_t op = random_() % 48;
        data += static_cast<char>(0x40 + op);
        data += static_cast<char>(op * 7);
        if (op % 3 == 0) {
          address += static_cast<uint32_t>(random_() % 64);
          data.append(reinterpret_cast<const char*>(&address), 4);
        }
      } else if (pick < 85) {
        uint64_t word = random_();
        data.append(reinterpret_cast<const char*>(&word), 1 + word % 4);
      } else if (pick < 97) {
        data += Word();
        data += '\0';
      } else {
        data.append(8 + random_() % 64, '\0');
      }
    }
    data.resize(size);
    return data;
  }

  // Pictures, packed resources: no redundancy left, stored by zip as they are.
  std::string Compressed(size_t size) {
    std::string data((size + 7) / 8 * 8, '\0');
    for (size_t at = 0; at < data.size(); at += 8) {
      uint64_t word = random_();
      std::memcpy(&data[at], &word, 8);
    }
    data.resize(size);
    return data;
  }

 private:
  const std::string& Word() {
    // Squaring skews the choice towards the first words, as word frequencies are.
    double unit = std::uniform_real_distribution<double>(0, 1)(random_);
    return words_[static_cast<size_t>(unit * unit * unit * static_cast<double>(words_.size()))];
  }

  std::mt19937_64 random_;
  std::vector<std::string> words_;
};

struct Sample {
  double seconds;
  double cpuSeconds;  // user and system time: less disturbed by a busy machine
  double peakMiB;
};

struct Spawned {
  std::vector<std::string> arguments;
  std::string folder = {};  // working folder, none for the current one
  std::string input = {};   // file for the standard input, none for the benchmark's
};

Sample Spawn(const Spawned& what) {
  std::vector<char*> argv;
  for (const auto& argument : what.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  // Only errors are of interest; the tools print a line per member or a summary.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  if (!what.input.empty()) {
    posix_spawn_file_actions_addopen(&actions, 0, what.input.c_str(), O_RDONLY, 0);
  }
  if (!what.folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, what.folder.c_str());
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + what.arguments[0]);
  int status = 0;
  struct rusage usage = {};
  wait4(pid, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(what.arguments[0] + " " + what.arguments[1] + " failed");
  }
  auto time = [](const timeval& value) { return value.tv_sec + value.tv_usec / 1e6; };
  return {seconds, time(usage.ru_utime) + time(usage.ru_stime), usage.ru_maxrss / 1024.0};
}

bool Installed(const std::string& program) {
  std::istringstream path(getenv("PATH") != nullptr ? getenv("PATH") : "");
  for (std::string folder; std::getline(path, folder, ':');) {
    if (access((folder + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

// The child side of the generation: writes the files, then packs them with zip in a fixed
// order. Files are written one at a time, so no process holds the whole data.
int MakeArchive(const std::string& source, const std::string& archive) {
  Content content(20240601);
  std::ofstream names(source + "/names.lst");
  auto add = [&](const std::string& name, const std::string& data) {
    fs::create_directories(fs::path(source + "/" + name).parent_path());
    std::ofstream(source + "/" + name, std::ios::binary) << data;
    struct utimbuf times = {kFileTime, kFileTime};
    utime((source + "/" + name).c_str(), &times);
    names << name << "\n";
  };
  const char* textKinds[] = {".txt", ".html", ".sh", ".po", ".xml", ".ini"};
  const char* binaryKinds[] = {".so", ".dll", ".ttf", ".bin"};
  const char* compressedKinds[] = {".png", ".jpg", ".pak", ".gz"};
  // Unique names in a few folders, so that flat extraction gives every tool the same files.
  for (int i = 0; i < kTextFiles; ++i) {
    add("share/doc" + std::to_string(i % 23) + "/text" + std::to_string(i) + textKinds[i % 6],
        content.Text(content.Size(1'000, 400'000)));
  }
  for (int i = 0; i < kBinaryFiles; ++i) {
    add("lib/part" + std::to_string(i % 11) + "/module" + std::to_string(i) + binaryKinds[i % 4],
        content.Binary(content.Size(4'000, 2'000'000)));
  }
  for (int i = 0; i < kCompressedFiles; ++i) {
    add("media/set" + std::to_string(i % 7) + "/item" + std::to_string(i) + compressedKinds[i % 4],
        content.Compressed(content.Size(8'000, 3'000'000)));
  }
  names.close();
  Spawn({{"zip", "-9", "-q", "-D", fs::absolute(archive).string(), "-@"},
         source,
         source + "/names.lst"});
  return 0;
}

bool SameFiles(const std::string& expected, const std::string& actual) {
  std::map<std::string, uintmax_t> sizes;
  for (const auto& entry : fs::directory_iterator(expected)) {
    sizes[entry.path().filename().string()] = entry.file_size();
  }
  size_t count = 0;
  for (const auto& entry : fs::directory_iterator(actual)) {
    auto found = sizes.find(entry.path().filename().string());
    if (found == sizes.end() || found->second != entry.file_size()) return false;
    ++count;
    std::ifstream a(expected + "/" + found->first, std::ios::binary);
    std::ifstream b(entry.path(), std::ios::binary);
    if (!std::equal(std::istreambuf_iterator<char>(a), std::istreambuf_iterator<char>(),
                    std::istreambuf_iterator<char>(b), std::istreambuf_iterator<char>())) {
      return false;
    }
  }
  return count == sizes.size();
}

struct Tool {
  std::string name;
  std::function<std::vector<std::string>()> test;
  std::function<std::vector<std::string>(const std::string&)> extract;
  std::vector<Sample> testSamples = {};
  std::vector<Sample> extractSamples = {};
};

// `plan` is the empty folder that the library's test pass checks the members against.
// `passes` is a command that runs the library's passes as well (see the top), or empty.
std::vector<Tool> Tools(const std::string& self, const std::string& archive,
                        const std::string& plan, const std::vector<std::string>& passes) {
  std::vector<Tool> tools;
  tools.push_back({"library",
                   [=] {
                     return std::vector<std::string>{self, "--child", "test", archive, plan};
                   },
                   [=](const std::string& out) {
                     return std::vector<std::string>{self, "--child", "extract", archive, out};
                   }});
  if (!passes.empty()) {
    auto pass = [=](const char* mode, const std::string& folder) {
      std::vector<std::string> command = passes;
      command.insert(command.end(), {"--child", mode, archive, folder});
      return command;
    };
    tools.push_back({"library via " + passes.front(), [=] { return pass("test", plan); },
                     [=](const std::string& out) { return pass("extract", out); }});
  }
  if (Installed("unzip")) {
    tools.push_back({"unzip",
                     [=] {
                       return std::vector<std::string>{"unzip", "-t", "-q", archive};
                     },
                     [=](const std::string& out) {
                       return std::vector<std::string>{"unzip", "-o", "-q", "-j",
                                                       archive, "-d", out};
                     }});
  }
  if (Installed("bsdtar")) {
    // bsdtar has no test switch: extracting to the standard output inflates and checks all.
    tools.push_back({"bsdtar",
                     [=] {
                       return std::vector<std::string>{"bsdtar", "-x", "-O", "-f", archive};
                     },
                     [=](const std::string& out) {
                       return std::vector<std::string>{"bsdtar", "-x", "-f", archive,
                                                       "-C",     out,  "-s", ",.*/,,"};
                     }});
  }
  for (const std::string sevenZip : {"7zz", "7z"}) {
    if (!Installed(sevenZip)) continue;
    tools.push_back({sevenZip,
                     [=] {
                       return std::vector<std::string>{sevenZip, "t", archive};
                     },
                     [=](const std::string& out) {
                       return std::vector<std::string>{sevenZip, "e", "-y", "-o" + out, archive};
                     }});
    break;
  }
  if (Installed("eatmydata")) {
    tools.push_back({"library, no flushes", nullptr, [=](const std::string& out) {
                       return std::vector<std::string>{"eatmydata", self,    "--child",
                                                       "extract",   archive, out};
                     }});
  }
  return tools;
}

double Median(const std::vector<Sample>& samples, double Sample::*field = &Sample::seconds) {
  if (samples.empty()) return NAN;
  std::vector<double> values;
  for (const auto& sample : samples) values.push_back(sample.*field);
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Peak(const std::vector<Sample>& samples) {
  double peak = 0;
  for (const auto& sample : samples) peak = std::max(peak, sample.peakMiB);
  return peak;
}

std::string Archive(const std::string& self) {
  fs::create_directories(QZ_BENCH_CACHE);
  std::string archive = std::string(QZ_BENCH_CACHE) + "/" + kArchiveName;
  if (fs::exists(archive)) return archive;
  std::string source = std::string(QZ_BENCH_CACHE) + "/source";
  std::string partial = archive + ".part";
  fs::remove_all(source);
  fs::remove(partial);
  fs::create_directory(source);
  std::printf("generating %s (once)...\n", archive.c_str());
  std::fflush(stdout);
  Spawn({{self, "--generate", source, partial}});
  fs::remove_all(source);
  fs::rename(partial, archive);
  return archive;
}

// Every tool's flat extraction against the library's, outside the timing.
void CheckOutputs(std::vector<Tool>& tools, const std::string& work) {
  std::string reference = work + "/reference";
  fs::create_directory(reference);
  Spawn({tools.front().extract(reference)});
  for (size_t i = 1; i < tools.size(); ++i) {
    std::string out = work + "/check";
    fs::create_directory(out);
    Spawn({tools[i].extract(out)});
    if (!SameFiles(reference, out)) {
      throw std::runtime_error(tools[i].name + " extracted other files than the library");
    }
    fs::remove_all(out);
  }
  size_t files = 0;
  for (auto it = fs::directory_iterator(reference); it != fs::directory_iterator(); ++it) ++files;
  std::printf("output of every tool identical: %zu files\n", files);
  fs::remove_all(reference);
}

void Round(std::vector<Tool>& tools, const std::string& work, int run) {
  for (size_t turn = 0; turn < tools.size(); ++turn) {
    Tool& tool = tools[(turn + static_cast<size_t>(run)) % tools.size()];
    if (tool.test) tool.testSamples.push_back(Spawn({tool.test()}));
    std::string out = work + "/out-" + std::to_string(run) + "-" + std::to_string(turn);
    fs::create_directory(out);
    tool.extractSamples.push_back(Spawn({tool.extract(out)}));
    fs::remove_all(out);
    sync();
  }
}

int Benchmark(int runs, const std::vector<std::string>& passes) {
  std::string self = fs::read_symlink("/proc/self/exe").string();
  std::string archive = Archive(self);
  std::string work = std::string(QZ_BENCH_CACHE) + "/work";
  fs::remove_all(work);
  fs::create_directory(work);
  fs::create_directory(work + "/plan");
  std::vector<Tool> tools = Tools(self, archive, work + "/plan", passes);
  std::printf("archive: %s, %.1f MiB\n", archive.c_str(), fs::file_size(archive) / kMiB);
  CheckOutputs(tools, work);
  Sample idle = Spawn({{self, "--child", "idle", archive, "-"}});
  for (int run = 0; run < runs; ++run) Round(tools, work, run);
  fs::remove_all(work);

  const Tool* bsdtar = nullptr;
  for (const auto& tool : tools) {
    if (tool.name == "bsdtar") bsdtar = &tool;
  }
  std::printf(
      "\n| tool | test (median s) | extraction (median s) | test CPU (s) | extraction CPU (s) "
      "| peak RSS (MiB) |\n|---|---|---|---|---|---|\n");
  for (const auto& tool : tools) {
    std::printf("| %s | %.3f | %.3f | %.3f | %.3f | %.1f |\n", tool.name.c_str(),
                Median(tool.testSamples), Median(tool.extractSamples),
                Median(tool.testSamples, &Sample::cpuSeconds),
                Median(tool.extractSamples, &Sample::cpuSeconds),
                std::max(Peak(tool.testSamples), Peak(tool.extractSamples)));
  }
  struct rusage selfUsage = {};
  getrusage(RUSAGE_SELF, &selfUsage);
  std::printf("(the library's child without a run: %.1f MiB; the benchmark itself: %.1f MiB)\n",
              idle.peakMiB, selfUsage.ru_maxrss / 1024.0);
  if (bsdtar == nullptr) {
    std::printf("bsdtar is not installed: no target to compare with\n");
    return 0;
  }
  double testRatio = Median(tools.front().testSamples) / Median(bsdtar->testSamples);
  double extractRatio = Median(tools.front().extractSamples) / Median(bsdtar->extractSamples);
  bool met = testRatio <= kTargetRatio && extractRatio <= kTargetRatio;
  std::printf("library / bsdtar: test %.2f, extraction %.2f; target <= %.2f: %s\n", testRatio,
              extractRatio, kTargetRatio, met ? "met" : "MISSED");
  return met ? 0 : 1;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc == 5 && std::string(argv[1]) == "--child") return RunPass(argv[2], argv[3], argv[4]);
#ifdef _WIN32
    std::fprintf(stderr, "unzip_bench.exe runs the passes of the Linux unzip_bench\n");
    return 2;
#else
    if (argc == 4 && std::string(argv[1]) == "--generate") return MakeArchive(argv[2], argv[3]);
    int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 5;
    return Benchmark(runs, std::vector<std::string>(argv + std::min(argc, 2), argv + argc));
#endif
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "unzip_bench: %s\n", failure.what());
    return 2;
  }
}

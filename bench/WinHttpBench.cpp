// Downloads one address through the Windows download service a number of times and prints
// the throughput of each run, for comparing WinHTTP under Wine with curl on the same server:
//   winhttp_bench <url> <target file> [runs]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/Win32FileSystem.h"
#include "platform/win32/WinHttpUrlServices.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: winhttp_bench <url> <target file> [runs]\n");
    return 2;
  }
  const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
  qz::WinHttpUrlServices urls;
  qz::Win32FileSystem files;
  for (int run = 0; run < runs; ++run) {
    auto start = std::chrono::steady_clock::now();
    int32_t code = urls.DownloadToFile(argv[1], argv[2]);
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (code != 0) {
      std::fprintf(stderr, "download failed: %d\n", code);
      return 1;
    }
    double megabytes = static_cast<double>(files.FileSize(argv[2])) / 1e6;
    std::printf("%.3f s %.1f MB/s\n", seconds, megabytes / seconds);
  }
  return 0;
}

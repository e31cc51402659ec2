// Cost of signed updates on a 200 MB update file.
//
//   signing_bench [RUNS]
//
// Serves a generated 200 MB file from a server on 127.0.0.1 in this process and, RUNS
// times (default 3), downloads it through the updater's download with and without the
// signature check watching the stream, then checks the staged file again as the install
// does (read and hash once more) and verifies a signed Version.INF. Prints the median of
// each. The streamed check should add little beside the transfer; the re-check before the
// install costs one read of the file.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/posix/CurlUrlServices.h"
#include "platform/posix/PosixFileSystem.h"
#include "signing/StreamedFileCheck.h"
#include "signing/UpdateSigner.h"
#include "signing/UpdateVerifier.h"
#include "signing/UtcTimestamp.h"
#include "support/TestServer.h"
#include "zipformat/Sha256.h"

namespace {

constexpr size_t kFileSize = size_t{200} << 20;

// Wall-clock seconds of `step`; its processor seconds (this process, every thread) are
// added to `cpu`, since on a busy machine the wall clock mostly measures waiting.
double Seconds(const std::function<void()>& step, std::vector<double>& cpu) {
  const std::clock_t cpuStart = std::clock();
  const auto start = std::chrono::steady_clock::now();
  step();
  cpu.push_back(static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  std::string body(kFileSize, '\0');
  for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 2654435761u) >> 13);
  qz::Sha256 hash;
  hash.Add(body.data(), body.size());
  const qz::UpdateFile item{"VQ.Zip", body.size(), hash.Hex()};

  qz::test::TestServer server;
  server.Put("/VQ.Zip", body);
  const std::string folder =
      (std::filesystem::temp_directory_path() / "qzupdate-signing-bench").string();
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/VQ.Zip";
  qz::CurlUrlServices urls;
  qz::PosixFileSystem files;

  qz::SignedRelease release;
  release.applicationName = "Vq";
  release.applicationVersion = "1.3.0";
  release.files = {item};
  release.expires = qz::UtcTimestamp::Format(qz::UtcTimestamp::Now() + 86400);
  const qz::SigningKeys::SecretKey key = qz::SigningKeys::Generate();
  qz::UpdateSigner({key}).Sign(release);
  const std::string versionInfo = qz::UpdateSigner::Rewrite("", release);
  const qz::UpdateVerifier verifier({qz::SigningKeys::ToBase64(qz::SigningKeys::PublicOf(key))});

  std::vector<double> plain, checked, recheck, verify;
  std::vector<double> plainCpu, checkedCpu, recheckCpu, verifyCpu;
  bool ok = true;
  for (int run = 0; run < runs; ++run) {
    plain.push_back(Seconds(
        [&] { ok &= urls.DownloadToFile(server.Root() + "/VQ.Zip", path) == 0; }, plainCpu));
    checked.push_back(Seconds(
        [&] {
          qz::StreamedFileCheck check(item, "");
          ok &= urls.DownloadToFile(server.Root() + "/VQ.Zip", path, &check) == 0;
          ok &= !check.RefusalAfter(0);
        },
        checkedCpu));
    recheck.push_back(Seconds(
        [&] {
          qz::StreamedFileCheck check(item, "");
          files.ReadInPieces(path, [&](const char* data, size_t size) { check.Add(data, size); });
          ok &= !check.Mismatch();
        },
        recheckCpu));
    verify.push_back(Seconds(
                         [&] {
                           for (int i = 0; i < 100; ++i) {
                             verifier.Verify(versionInfo, "Vq", qz::UtcTimestamp::Now());
                           }
                         },
                         verifyCpu) /
                     100);
  }
  std::filesystem::remove_all(folder);
  const double mb = kFileSize / 1e6;
  std::printf("200 MB update file, median of %d runs: wall clock, processor time\n", runs);
  std::printf("  download alone                   %7.3f s  %7.3f s\n", Median(plain),
              Median(plainCpu));
  std::printf("  download with the streamed check %7.3f s  %7.3f s\n", Median(checked),
              Median(checkedCpu));
  std::printf("  re-check before the install      %7.3f s  %7.3f s  (%.0f MB/s of processor)\n",
              Median(recheck), Median(recheckCpu), mb / Median(recheckCpu));
  std::printf("  verify the signed Version.INF    %7.3f ms\n", Median(verify) * 1000);
  return ok ? 0 : 1;
}

// Throughput and memory of whole-file downloads: the body streams to disk, so the peak
// resident memory must not grow with the size of the file.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <thread>

#include "platform/posix/CurlUrlServices.h"

namespace {

constexpr size_t kPiece = 1 << 16;

long PeakResidentKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// Serves /big?mib=N as N MiB generated on the fly, so the server holds no body in memory.
class GeneratingServer {
 public:
  GeneratingServer() {
    server_.Get("/big", [](const httplib::Request& request, httplib::Response& response) {
      size_t size = std::stoul(request.get_param_value("mib")) << 20;
      response.set_content_provider(size, "application/octet-stream",
                                    [size](size_t offset, size_t, httplib::DataSink& sink) {
                                      std::string piece(std::min(kPiece, size - offset), 'q');
                                      sink.write(piece.data(), piece.size());
                                      return true;
                                    });
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~GeneratingServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url(int mib) const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/big?mib=" + std::to_string(mib);
  }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

void BM_DownloadToFile(benchmark::State& state) {
  GeneratingServer server;
  std::string folder = (std::filesystem::temp_directory_path() / "qzbench-XXXXXX").string();
  if (mkdtemp(folder.data()) == nullptr) {
    state.SkipWithError("mkdtemp failed");
    return;
  }
  qz::CurlUrlServices urls;
  int mib = static_cast<int>(state.range(0));
  urls.DownloadToFile(server.Url(1), folder + "/VQ.Zip");  // warms up libcurl and the server
  long peakBefore = PeakResidentKiB();
  for (auto _ : state) {
    if (urls.DownloadToFile(server.Url(mib), folder + "/VQ.Zip") != 0) {
      state.SkipWithError("download failed");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * (int64_t{mib} << 20));
  state.counters["peak_rss_growth_KiB"] = static_cast<double>(PeakResidentKiB() - peakBefore);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_DownloadToFile)->Arg(8)->Arg(256)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();

// The demo update server: serves a folder laid out like the real update server
// (/Support/VqPrime/QzUFiles/<ApplicationName>/Version.INF, VQ.Zip, Data.TXT, VqData.TXT)
// so that the updater can be tried on one machine without the vendor's web site.

#include <httplib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <thread>

#include "RequestLog.h"
#include "ServerOptions.h"
#include "StaticFiles.h"
#include "StopSignals.h"

namespace {

// Bytes of the body sent: of an answer to one range, the range's bytes (the library cuts
// them out of the whole file's body); of a multipart answer, the whole body with its part
// headers. A HEAD answer announces the length but sends none.
uint64_t BodyBytes(const httplib::Request& request, const httplib::Response& response) {
  if (request.method == "HEAD") return 0;
  const uint64_t total =
      response.content_provider_ ? response.content_length_ : response.body.size();
  if (response.status != 206 || request.ranges.empty()) return total;
  uint64_t sent = 0;
  for (const auto& range : request.ranges) {
    if (auto resolved = qz::demo::StaticFiles::Resolve(range, total)) {
      sent += resolved->second - resolved->first + 1;
    }
  }
  return sent;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qz::demo;
  std::string problem;
  bool help = false;
  auto options = ServerOptions::Parse({argv + 1, argv + argc}, problem, help);
  if (!options) {
    std::cerr << (help ? "" : problem + "\n") << ServerOptions::Usage();
    return help ? 0 : 2;
  }

  StopSignals signals;
  std::unique_ptr<StaticFiles> files;
  try {
    files =
        std::make_unique<StaticFiles>(options->root, static_cast<size_t>(options->bytesPerSecond));
  } catch (const std::exception& error) {
    std::cerr << "qzupdate-demo-server: cannot serve " << options->root << ": " << error.what()
              << "\n";
    return 1;
  }

  RequestLog log(std::cout);
  httplib::Server server;
  // A connection serves up to 100 requests, so the range requests of one updater run
  // share it, as the updater means them to.
  server.set_keep_alive_max_count(100);
  auto serve = [&files, delay = std::chrono::milliseconds(options->delayMs)](
                   const httplib::Request& request, httplib::Response& response) {
    std::this_thread::sleep_for(delay);
    files->Serve(request, response);
  };
  server.Get(R"(/.*)", serve);
  server.set_logger([&log](const httplib::Request& request, const httplib::Response& response) {
    log.Write(request.method, request.path, response.status, BodyBytes(request, response),
              request.get_header_value("Range"));
  });

  int port = options->port;
  if (port == 0) {
    port = server.bind_to_any_port(options->bind);
  } else if (!server.bind_to_port(options->bind, port)) {
    port = -1;
  }
  if (port <= 0) {
    std::cerr << "qzupdate-demo-server: cannot listen on " << options->bind << ":" << options->port
              << "\n";
    return 1;
  }
  log.Note("serving " + files->Root().string() + " on http://" + options->bind + ":" +
           std::to_string(port) + "/");

  std::atomic<bool> stopping = false;
  std::thread listener([&] {
    server.listen_after_bind();
    if (!stopping) StopSignals::Wake();
  });
  int signal = signals.Wait();
  stopping = true;
  server.stop();
  listener.join();
  if (signal == SIGUSR1) {
    log.Note("the server stopped on its own");
    return 1;
  }
  log.Note("stopped by signal " + std::to_string(signal));
  return 0;
}

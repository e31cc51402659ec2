#pragma once

#include <httplib.h>

#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace qz::test {

// An HTTP server on 127.0.0.1 (a free port) in a thread of the test process. It serves
// the bodies set with Put and answers other paths with 404; Fail makes a path answer
// with an error status. Route answers one path with a handler of its own (redirects,
// bodies cut short, slow bodies); it takes precedence over Put and Fail.
class TestServer {
 public:
  TestServer();
  ~TestServer();
  TestServer(const TestServer&) = delete;
  TestServer& operator=(const TestServer&) = delete;

  // "http://127.0.0.1:<port>"
  std::string Root() const;
  // The base address of the update server on this server.
  std::string BaseUrl() const { return Root() + "/Support/VqPrime/QzUFiles/"; }

  void Put(const std::string& path, const std::string& body);
  void Fail(const std::string& path, int status);
  void Route(const std::string& path, httplib::Server::Handler handler);
  // From now on bodies set with Put arrive at about `bytesPerSecond` (0: at once).
  void LimitRate(size_t bytesPerSecond);
  // The answer for `path` breaks off after `bytes` bytes of the file (SIZE_MAX: never).
  void CutAfter(const std::string& path, size_t bytes);
  // Bodies set with Put carry an ETag of their content and honour a Range that an
  // If-Range allows, unless ranges are ignored: then every answer is the whole file.
  void IgnoreRanges(bool ignore);
  // Requests for several ranges get the whole file, as object stores answer them.
  void RefuseMultipleRanges(bool refuse);
  // The Range header of every request so far ("" without one), in order.
  std::vector<std::string> RangesAsked();
  // Paths requested so far, in order.
  std::vector<std::string> Requests();
  // TCP connections that carried a request so far.
  size_t Connections();
  // Every answer waits `eachRequest`, and the first on a connection `newConnection` more,
  // as a distant server's round trips and handshakes cost (0 and 0: no wait).
  void DelayAnswers(std::chrono::milliseconds eachRequest, std::chrono::milliseconds newConnection);

  httplib::Server& Raw() { return server_; }

 private:
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::map<std::string, std::string> bodies_;
  std::map<std::string, int> failures_;
  std::map<std::string, httplib::Server::Handler> routes_;
  std::vector<std::string> requests_;
  size_t bytesPerSecond_ = 0;
  bool ignoreRanges_ = false;
  bool refuseMultipleRanges_ = false;
  std::map<std::string, size_t> cuts_;
  std::vector<std::string> ranges_;
  std::set<std::pair<std::string, int>> connections_;
  std::chrono::milliseconds eachRequestDelay_{0};
  std::chrono::milliseconds newConnectionDelay_{0};
};

}  // namespace qz::test

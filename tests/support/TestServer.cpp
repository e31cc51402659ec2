#include "support/TestServer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <utility>

namespace qz::test {
namespace {

constexpr int kPiecesPerSecond = 20;

// Pieces every 50 ms when the rate is limited; the answer breaks off after `cutAfter`
// bytes of the file. The body is copied, so a later Put does not change this answer.
void ServeBody(httplib::Response& response, std::string body, size_t bytesPerSecond,
               size_t cutAfter) {
  if (bytesPerSecond == 0 && cutAfter == SIZE_MAX) {
    response.set_content(body, "application/octet-stream");
    return;
  }
  auto shared = std::make_shared<const std::string>(std::move(body));
  const size_t piece = bytesPerSecond == 0 ? size_t{64} << 10
                                           : std::max<size_t>(1, bytesPerSecond / kPiecesPerSecond);
  response.set_content_provider(
      shared->size(), "application/octet-stream",
      [shared, piece, bytesPerSecond, cutAfter](size_t offset, size_t length,
                                                httplib::DataSink& sink) {
        if (offset >= cutAfter) return false;
        if (bytesPerSecond != 0) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1000 / kPiecesPerSecond));
        }
        return sink.write(shared->data() + offset, std::min({piece, length, cutAfter - offset}));
      });
}

std::string EntityTag(const std::string& body) {
  return "\"" + std::to_string(std::hash<std::string>{}(body)) + "\"";
}

}  // namespace

TestServer::TestServer() {
  // Wine's WinHTTP keeps a connection open after its session is closed; the server's
  // stop then waits out the keep-alive time of every such connection.
  server_.set_keep_alive_timeout(1);
  // The connections a client keeps open are reused for as many requests as it makes.
  server_.set_keep_alive_max_count(1000);
  // Recorded before the answer goes out, so a test sees every request its client made.
  server_.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response&) {
    std::unique_lock lock(mutex_);
    requests_.push_back(request.path);
    ranges_.push_back(request.get_header_value("Range"));
    const bool fresh = connections_.emplace(request.remote_addr, request.remote_port).second;
    const auto delay =
        eachRequestDelay_ + (fresh ? newConnectionDelay_ : std::chrono::milliseconds(0));
    lock.unlock();
    std::this_thread::sleep_for(delay);
    return httplib::Server::HandlerResponse::Unhandled;
  });
  // The one catch-all handler dispatches everything: cpp-httplib takes the first handler
  // whose pattern matches, so handlers added later through Raw() would never be reached.
  server_.Get(R"(/.*)", [this](const httplib::Request& request, httplib::Response& response) {
    std::unique_lock lock(mutex_);
    if (auto route = routes_.find(request.path); route != routes_.end()) {
      httplib::Server::Handler handler = route->second;
      lock.unlock();
      handler(request, response);
    } else if (auto failure = failures_.find(request.path); failure != failures_.end()) {
      response.status = failure->second;
      response.set_content("<html><body>error</body></html>", "text/html");
    } else if (auto body = bodies_.find(request.path); body != bodies_.end()) {
      const std::string etag = EntityTag(body->second);
      response.set_header("ETag", etag);
      // cpp-httplib answers any Range by itself; only an unchanged file may be continued.
      if (ignoreRanges_ || (refuseMultipleRanges_ && request.ranges.size() > 1) ||
          (request.has_header("If-Range") && request.get_header_value("If-Range") != etag)) {
        const_cast<httplib::Request&>(request).ranges.clear();
      }
      auto cut = cuts_.find(request.path);
      ServeBody(response, body->second, bytesPerSecond_,
                cut == cuts_.end() ? SIZE_MAX : cut->second);
    } else {
      response.status = 404;
      response.set_content("<html><body>Not Found</body></html>", "text/html");
    }
  });
  port_ = server_.bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("test server cannot bind");
  thread_ = std::thread([this] { server_.listen_after_bind(); });
  while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

TestServer::~TestServer() {
  server_.stop();
  if (thread_.joinable()) thread_.join();
}

std::string TestServer::Root() const {
  return "http://127.0.0.1:" + std::to_string(port_);
}

void TestServer::Put(const std::string& path, const std::string& body) {
  std::lock_guard lock(mutex_);
  bodies_[path] = body;
  failures_.erase(path);
}

void TestServer::Fail(const std::string& path, int status) {
  std::lock_guard lock(mutex_);
  failures_[path] = status;
}

void TestServer::Route(const std::string& path, httplib::Server::Handler handler) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(handler);
}

void TestServer::LimitRate(size_t bytesPerSecond) {
  std::lock_guard lock(mutex_);
  bytesPerSecond_ = bytesPerSecond;
}

void TestServer::CutAfter(const std::string& path, size_t bytes) {
  std::lock_guard lock(mutex_);
  cuts_[path] = bytes;
}

void TestServer::IgnoreRanges(bool ignore) {
  std::lock_guard lock(mutex_);
  ignoreRanges_ = ignore;
}

void TestServer::RefuseMultipleRanges(bool refuse) {
  std::lock_guard lock(mutex_);
  refuseMultipleRanges_ = refuse;
}

std::vector<std::string> TestServer::RangesAsked() {
  std::lock_guard lock(mutex_);
  return ranges_;
}

std::vector<std::string> TestServer::Requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

size_t TestServer::Connections() {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

void TestServer::DelayAnswers(std::chrono::milliseconds eachRequest,
                              std::chrono::milliseconds newConnection) {
  std::lock_guard lock(mutex_);
  eachRequestDelay_ = eachRequest;
  newConnectionDelay_ = newConnection;
}

}  // namespace qz::test

#pragma once

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

namespace qz::demo {

// One line per request on a shared stream, whole lines even when several connections
// finish at once, with the ranges asked for when there were any:
//   GET /Support/VqPrime/QzUFiles/Vq/VQ.Zip 200 123456
//   GET /Support/VqPrime/QzUFiles/Vq/VQ.Zip 206 65558 bytes=-65558
class RequestLog {
 public:
  explicit RequestLog(std::ostream& out) : out_(out) {}

  // `range` is the request's Range header, empty when it had none.
  void Write(const std::string& method, const std::string& path, int status, uint64_t bytes,
             const std::string& range);

  // A free-form line (start-up, shut-down).
  void Note(const std::string& text);

 private:
  std::ostream& out_;
  std::mutex mutex_;
};

}  // namespace qz::demo

#pragma once

#include <cstdint>
#include <mutex>
#include <ostream>
#include <string>

namespace qz::demo {

// One line per request on a shared stream, whole lines even when several connections
// finish at once:  GET /Support/VqPrime/QzUFiles/Vq/VQ.Zip 200 123456
class RequestLog {
 public:
  explicit RequestLog(std::ostream& out) : out_(out) {}

  void Write(const std::string& method, const std::string& path, int status, uint64_t bytes);

  // A free-form line (start-up, shut-down).
  void Note(const std::string& text);

 private:
  std::ostream& out_;
  std::mutex mutex_;
};

}  // namespace qz::demo

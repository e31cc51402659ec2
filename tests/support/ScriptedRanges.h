#pragma once

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qz::test {

// Answers range requests for one file as real and hostile servers do, for TestServer::Route.
// One range gets a plain 206 (a suffix too); several get a multipart/byteranges body shaped
// by the script. An If-Range other than the file's ETag gets the whole file.
class ScriptedRanges {
 public:
  struct Script {
    // Only the first this many ranges are answered.
    size_t maxParts = SIZE_MAX;
    // Several ranges get a plain 206 for the first of them.
    bool firstAsSingle = false;
    // Added to the total length each multipart Content-Range gives.
    int64_t totalOffset = 0;
    // The multipart parts carry other bytes than the file's.
    bool flipBytes = false;
    // After the first part, this many more of its length, each one byte further.
    size_t shiftedParts = 0;
    // After all parts, the first one this many times again.
    size_t repeats = 0;
    // Bytes after the closing delimiter.
    uint64_t trailingBytes = 0;
  };

  ScriptedRanges(std::string file, std::string etag, Script script);

  httplib::Server::Handler Handler();
  // Bytes of multipart bodies the server has written so far.
  uint64_t Written() const { return *written_; }

 private:
  std::shared_ptr<const std::string> file_;
  std::string etag_;
  Script script_;
  std::shared_ptr<std::atomic<uint64_t>> written_;
};

}  // namespace qz::test

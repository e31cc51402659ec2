#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/ByteRange.h"

namespace qz {

class RangeReceiver;

// Reads a multipart/byteranges body as it streams in and hands each part to a receiver
// with the range its own Content-Range names. A part's length is taken from that range, so
// a part longer or shorter than it says is caught at the delimiter that must follow it.
class MultipartByteRanges {
 public:
  // Headers of one part beyond this are not a server's but garbage.
  static constexpr size_t kMaxHeaderBytes = 8 << 10;

  enum class State { kGoing, kComplete, kMalformed, kStopped };

  // The boundary of a Content-Type value "multipart/byteranges; boundary=..." (quoted or
  // not); empty when the value names another type or no boundary.
  static std::string BoundaryOf(const std::string& contentType);

  MultipartByteRanges(std::string boundary, RangeReceiver& receiver);

  // The next piece of the body; false once the body is malformed or the receiver stopped
  // it (State says which). Bytes after the closing delimiter are ignored.
  bool Feed(const char* data, size_t size);

  State Current() const { return state_; }
  // The file's length as the parts' Content-Range give it; -1 until one gave it.
  int64_t TotalLength() const { return total_; }
  // Part bytes delivered so far.
  uint64_t Delivered() const { return delivered_; }

 private:
  enum class Step { kPreamble, kAfterDelimiter, kHeaders, kData, kDelimiter, kEpilogue };

  size_t Scan(const char* data, size_t size);
  size_t ScanPreamble(const char* data, size_t size);
  size_t ScanAfterDelimiter(const char* data, size_t size);
  size_t ScanHeaders(const char* data, size_t size);
  size_t ScanData(const char* data, size_t size);
  size_t ScanDelimiter(const char* data, size_t size);
  void StartPart(const std::string& headers);
  size_t Fail(State state);

  std::string delimiter_;
  RangeReceiver& receiver_;
  State state_ = State::kGoing;
  Step step_ = Step::kPreamble;
  std::string pending_;
  ByteRange part_;
  uint64_t partLeft_ = 0;
  int64_t total_ = -1;
  uint64_t delivered_ = 0;
};

}  // namespace qz

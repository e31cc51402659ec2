#include "platform/MultipartByteRanges.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "platform/RangeReceiver.h"

namespace qz {
namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// The value of header `name` (lower case) in a block of "Name: value" lines; empty if none.
std::string HeaderValue(std::string_view block, std::string_view name) {
  while (!block.empty()) {
    size_t end = block.find('\n');
    std::string_view line = block.substr(0, end);
    block = end == std::string_view::npos ? std::string_view() : block.substr(end + 1);
    size_t colon = line.find(':');
    if (colon != std::string_view::npos && Lower(Trimmed(line.substr(0, colon))) == name) {
      return std::string(Trimmed(line.substr(colon + 1)));
    }
  }
  return {};
}

}  // namespace

std::string MultipartByteRanges::BoundaryOf(const std::string& contentType) {
  const std::string lower = Lower(contentType);
  if (Trimmed(std::string_view(lower).substr(0, lower.find(';'))) != "multipart/byteranges") {
    return {};
  }
  size_t at = lower.find("boundary=");
  if (at == std::string::npos) return {};
  std::string_view value = std::string_view(contentType).substr(at + 9);
  if (!value.empty() && value.front() == '"') {
    value.remove_prefix(1);
    size_t close = value.find('"');
    if (close == std::string_view::npos) return {};
    return std::string(value.substr(0, close));
  }
  return std::string(Trimmed(value.substr(0, value.find(';'))));
}

MultipartByteRanges::MultipartByteRanges(std::string boundary, RangeReceiver& receiver)
    : delimiter_("--" + std::move(boundary)), receiver_(receiver) {}

bool MultipartByteRanges::Feed(const char* data, size_t size) {
  while (size > 0 && state_ == State::kGoing) {
    const size_t used = Scan(data, size);
    data += used;
    size -= used;
  }
  return state_ == State::kGoing || state_ == State::kComplete;
}

size_t MultipartByteRanges::Scan(const char* data, size_t size) {
  switch (step_) {
    case Step::kPreamble:
      return ScanPreamble(data, size);
    case Step::kAfterDelimiter:
      return ScanAfterDelimiter(data, size);
    case Step::kHeaders:
      return ScanHeaders(data, size);
    case Step::kData:
      return ScanData(data, size);
    case Step::kDelimiter:
      return ScanDelimiter(data, size);
    case Step::kEpilogue:
      break;
  }
  state_ = State::kComplete;
  return size;
}

// Everything up to the first delimiter is a preamble, which servers leave empty or short.
size_t MultipartByteRanges::ScanPreamble(const char* data, size_t size) {
  const size_t before = pending_.size();
  pending_.append(data, std::min(size, kMaxHeaderBytes));
  size_t at = pending_.find(delimiter_);
  if (at == std::string::npos) {
    if (pending_.size() >= kMaxHeaderBytes) return Fail(State::kMalformed);
    return std::min(size, kMaxHeaderBytes);
  }
  const size_t used = at + delimiter_.size() - before;
  pending_.clear();
  step_ = Step::kAfterDelimiter;
  return used;
}

// After a delimiter: "--" closes the body; otherwise the rest of its line (transport
// padding) ends with CRLF and a part's headers follow.
size_t MultipartByteRanges::ScanAfterDelimiter(const char* data, size_t size) {
  const size_t before = pending_.size();
  pending_.append(data, std::min(size, kMaxHeaderBytes));
  if (pending_.size() >= 2 && pending_.compare(0, 2, "--") == 0) {
    pending_.clear();
    step_ = Step::kEpilogue;
    state_ = State::kComplete;
    return size;
  }
  size_t end = pending_.find(kCrLf);
  if (end == std::string::npos) {
    if (pending_.size() >= kMaxHeaderBytes) return Fail(State::kMalformed);
    return std::min(size, kMaxHeaderBytes);
  }
  if (!Trimmed(std::string_view(pending_).substr(0, end)).empty()) return Fail(State::kMalformed);
  const size_t used = end + kCrLf.size() - before;
  pending_.clear();
  step_ = Step::kHeaders;
  return used;
}

size_t MultipartByteRanges::ScanHeaders(const char* data, size_t size) {
  const size_t before = pending_.size();
  pending_.append(data, std::min(size, kMaxHeaderBytes));
  // A part without headers would start with the blank line at once.
  size_t end = pending_.compare(0, 2, kCrLf) == 0 ? 0 : pending_.find("\r\n\r\n");
  size_t blank = end == 0 ? kCrLf.size() : 2 * kCrLf.size();
  if (end == std::string::npos) {
    if (pending_.size() >= kMaxHeaderBytes) return Fail(State::kMalformed);
    return std::min(size, kMaxHeaderBytes);
  }
  const std::string headers = pending_.substr(0, end);
  const size_t used = end + blank - before;
  pending_.clear();
  StartPart(headers);
  return used;
}

void MultipartByteRanges::StartPart(const std::string& headers) {
  ByteRange range;
  int64_t total = -1;
  if (!ByteRange::ParseContentRange(HeaderValue(headers, "content-range"), range, total) ||
      (total_ >= 0 && total >= 0 && total != total_)) {
    Fail(State::kMalformed);
    return;
  }
  if (total >= 0) total_ = total;
  if (!receiver_.OnPart(range)) {
    Fail(State::kStopped);
    return;
  }
  part_ = range;
  partLeft_ = range.Length();
  step_ = Step::kData;
}

size_t MultipartByteRanges::ScanData(const char* data, size_t size) {
  const size_t used = static_cast<size_t>(std::min<uint64_t>(size, partLeft_));
  const uint64_t offset = part_.last + 1 - partLeft_;
  if (!receiver_.OnBytes(offset, data, used)) return Fail(State::kStopped);
  partLeft_ -= used;
  delivered_ += used;
  if (partLeft_ == 0) step_ = Step::kDelimiter;
  return used;
}

// A part's data must be followed at once by CRLF and the delimiter; anything else means
// the part was not as long as its Content-Range said.
size_t MultipartByteRanges::ScanDelimiter(const char* data, size_t size) {
  const std::string expected = std::string(kCrLf) + delimiter_;
  const size_t used = std::min(size, expected.size() - pending_.size());
  pending_.append(data, used);
  if (expected.compare(0, pending_.size(), pending_) != 0) return Fail(State::kMalformed);
  if (pending_.size() == expected.size()) {
    pending_.clear();
    step_ = Step::kAfterDelimiter;
  }
  return used;
}

size_t MultipartByteRanges::Fail(State state) {
  state_ = state;
  return 0;
}

}  // namespace qz

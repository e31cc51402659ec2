#include "support/ScriptedRanges.h"

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace qz::test {
namespace {

constexpr size_t kPiece = 64 << 10;

using Span = std::pair<uint64_t, uint64_t>;

// The multipart body's pieces in order, made as they are asked for.
class MultipartPieces {
 public:
  MultipartPieces(std::shared_ptr<const std::string> file, const std::vector<Span>& spans,
                  ScriptedRanges::Script script)
      : file_(std::move(file)), script_(script) {
    const Span first = spans.front();
    order_.push_back(first);
    const uint64_t length = first.second - first.first;
    for (size_t i = 1; i <= script_.shiftedParts; ++i) {
      const uint64_t start = std::min<uint64_t>(first.first + i, file_->size() - length - 1);
      order_.push_back({start, start + length});
    }
    order_.insert(order_.end(), spans.begin() + 1, spans.end());
    repeatsLeft_ = script_.repeats;
  }

  // The next piece; empty at the end.
  std::string Next() {
    if (next_ < order_.size()) return Part(order_[next_++]);
    if (repeatsLeft_ > 0) {
      --repeatsLeft_;
      return Part(order_.front());
    }
    if (!closed_) {
      closed_ = true;
      return "--cut--\r\n";
    }
    const uint64_t piece = std::min<uint64_t>(kPiece, script_.trailingBytes - trailed_);
    trailed_ += piece;
    return std::string(piece, 'x');
  }

 private:
  std::string Part(const Span& span) const {
    const uint64_t total = file_->size() + static_cast<uint64_t>(script_.totalOffset);
    std::string data = file_->substr(span.first, span.second - span.first + 1);
    if (script_.flipBytes) {
      for (char& c : data) c = static_cast<char>(~c);
    }
    return "--cut\r\nContent-Type: application/octet-stream\r\nContent-Range: bytes " +
           std::to_string(span.first) + "-" + std::to_string(span.second) + "/" +
           std::to_string(total) + "\r\n\r\n" + data + "\r\n";
  }

  std::shared_ptr<const std::string> file_;
  ScriptedRanges::Script script_;
  std::vector<Span> order_;
  size_t next_ = 0;
  size_t repeatsLeft_ = 0;
  bool closed_ = false;
  uint64_t trailed_ = 0;
};

}  // namespace

ScriptedRanges::ScriptedRanges(std::string file, std::string etag, Script script)
    : file_(std::make_shared<const std::string>(std::move(file))),
      etag_(std::move(etag)),
      script_(script),
      written_(std::make_shared<std::atomic<uint64_t>>(0)) {}

httplib::Server::Handler ScriptedRanges::Handler() {
  return [file = file_, etag = etag_, script = script_, written = written_](
             const httplib::Request& request, httplib::Response& response) {
    std::vector<Span> spans;
    for (const auto& [first, last] : request.ranges) {
      const uint64_t size = file->size();
      if (first < 0) {
        spans.push_back({size - std::min<uint64_t>(size, static_cast<uint64_t>(last)), size - 1});
      } else {
        spans.push_back({static_cast<uint64_t>(first),
                         last < 0 ? size - 1 : std::min<uint64_t>(size - 1, last)});
      }
    }
    // cpp-httplib would cut the answer to the ranges itself.
    const_cast<httplib::Request&>(request).ranges.clear();
    response.set_header("ETag", etag);
    const bool unchanged =
        !request.has_header("If-Range") || request.get_header_value("If-Range") == etag;
    if (spans.empty() || !unchanged) {
      response.set_content(*file, "application/octet-stream");
      return;
    }
    if (spans.size() == 1 || script.firstAsSingle) {
      const auto [first, last] = spans.front();
      response.status = 206;
      response.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                               std::to_string(last) + "/" +
                                               std::to_string(file->size()));
      response.set_content(file->substr(first, last - first + 1), "application/octet-stream");
      return;
    }
    spans.resize(std::min(spans.size(), script.maxParts));
    auto pieces = std::make_shared<MultipartPieces>(file, spans, script);
    response.status = 206;
    response.set_chunked_content_provider("multipart/byteranges; boundary=cut",
                                          [pieces, written](size_t, httplib::DataSink& sink) {
                                            const std::string piece = pieces->Next();
                                            if (piece.empty()) {
                                              sink.done();
                                              return true;
                                            }
                                            *written += piece.size();
                                            return sink.write(piece.data(), piece.size());
                                          });
  };
}

}  // namespace qz::test

#include "StaticFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace qz::demo {

namespace fs = std::filesystem;

namespace {

constexpr size_t kPieceSize = 64 * 1024;
// A limited rate sends small pieces often, so that the body flows evenly.
constexpr size_t kPiecesPerSecond = 20;

bool SameIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The entry of `folder` named `name`, or failing that the first one whose name differs only
// in letter case; empty when there is neither.
fs::path Entry(const fs::path& folder, const std::string& name) {
  std::error_code error;
  fs::path exact = folder / name;
  if (fs::symlink_status(exact, error).type() != fs::file_type::not_found && !error) return exact;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (SameIgnoringCase(it->path().filename().string(), name)) return it->path();
  }
  return {};
}

bool Inside(const fs::path& root, const fs::path& candidate) {
  auto [rootEnd, candidateIt] =
      std::mismatch(root.begin(), root.end(), candidate.begin(), candidate.end());
  return rootEnd == root.end();
}

// Changes whenever the file is replaced or rewritten.
std::string EntityTag(const struct stat& info) {
  return "\"" + std::to_string(info.st_ino) + "-" + std::to_string(info.st_size) + "-" +
         std::to_string(info.st_mtim.tv_sec) + "." + std::to_string(info.st_mtim.tv_nsec) + "\"";
}

std::string HttpDate(const struct stat& info) {
  std::array<char, 64> text{};
  struct tm utc {};
  gmtime_r(&info.st_mtim.tv_sec, &utc);
  return std::string(text.data(),
                     strftime(text.data(), text.size(), "%a, %d %b %Y %H:%M:%S GMT", &utc));
}

// A body made of texts and pieces of one open file, streamed in order: a whole file, or a
// multipart answer to several ranges.
struct Piece {
  std::string text;         // sent as it is, when not empty
  uint64_t fileOffset = 0;  // otherwise `length` bytes of the file from here
  uint64_t length = 0;
};

class Body {
 public:
  Body(int fd, std::vector<Piece> pieces) : fd_(fd), pieces_(std::move(pieces)) {
    for (Piece& piece : pieces_) {
      if (!piece.text.empty()) piece.length = piece.text.size();
      starts_.push_back(length_);
      length_ += piece.length;
    }
  }
  ~Body() { ::close(fd_); }
  Body(const Body&) = delete;
  Body& operator=(const Body&) = delete;

  uint64_t Length() const { return length_; }

  // Writes up to `most` bytes from `offset` of the body; false when the file cannot be read.
  bool Write(uint64_t offset, size_t most, httplib::DataSink& sink) const {
    const size_t index =
        static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) -
                            starts_.begin()) -
        1;
    const Piece& piece = pieces_[index];
    const uint64_t within = offset - starts_[index];
    const size_t size = static_cast<size_t>(std::min<uint64_t>(most, piece.length - within));
    if (!piece.text.empty()) return sink.write(piece.text.data() + within, size);
    std::array<char, kPieceSize> bytes;
    ssize_t got = ::pread(fd_, bytes.data(), std::min(size, bytes.size()),
                          static_cast<off_t>(piece.fileOffset + within));
    // A file that shrank or cannot be read any more ends the transfer short; the
    // client sees fewer bytes than announced and treats the download as failed.
    if (got <= 0) return false;
    return sink.write(bytes.data(), static_cast<size_t>(got));
  }

 private:
  int fd_;
  std::vector<Piece> pieces_;
  std::vector<uint64_t> starts_;
  uint64_t length_ = 0;
};

// The parts of a multipart/byteranges answer to `ranges` of a `size`-byte file; empty when
// one of them cannot be satisfied (the library then answers 416).
std::vector<Piece> Multipart(const httplib::Ranges& ranges, uint64_t size,
                             const std::string& boundary) {
  std::vector<Piece> pieces;
  for (const auto& range : ranges) {
    auto resolved = StaticFiles::Resolve(range, size);
    if (!resolved) return {};
    pieces.push_back({"--" + boundary + "\r\nContent-Type: application/octet-stream\r\n" +
                      "Content-Range: bytes " + std::to_string(resolved->first) + "-" +
                      std::to_string(resolved->second) + "/" + std::to_string(size) + "\r\n\r\n"});
    pieces.push_back({"", resolved->first, resolved->second - resolved->first + 1});
    pieces.push_back({"\r\n"});
  }
  pieces.push_back({"--" + boundary + "--\r\n"});
  return pieces;
}

void Answer(httplib::Response& response, int status, const std::string& text) {
  response.status = status;
  response.set_content(text + "\n", "text/plain");
}

}  // namespace

StaticFiles::StaticFiles(const fs::path& root, size_t bytesPerSecond)
    : root_(fs::canonical(root)), bytesPerSecond_(bytesPerSecond) {
  if (!fs::is_directory(root_)) {
    throw fs::filesystem_error("not a folder", root_,
                               std::make_error_code(std::errc::not_a_directory));
  }
}

std::optional<std::pair<uint64_t, uint64_t>> StaticFiles::Resolve(std::pair<ssize_t, ssize_t> range,
                                                                  uint64_t size) {
  if (size == 0) return std::nullopt;
  if (range.first < 0) {
    if (range.second <= 0) return std::nullopt;
    const uint64_t length = std::min<uint64_t>(static_cast<uint64_t>(range.second), size);
    return std::pair{size - length, size - 1};
  }
  const auto first = static_cast<uint64_t>(range.first);
  const uint64_t last = range.second < 0
                            ? size - 1
                            : std::min<uint64_t>(static_cast<uint64_t>(range.second), size - 1);
  if (first > last) return std::nullopt;
  return std::pair{first, last};
}

StaticFiles::Lookup StaticFiles::Find(const std::string& requestPath) const {
  if (requestPath.empty() || requestPath.front() != '/') return {404, {}};
  fs::path current = root_;
  size_t start = 1;
  while (start <= requestPath.size()) {
    size_t slash = std::min(requestPath.find('/', start), requestPath.size());
    std::string segment = requestPath.substr(start, slash - start);
    start = slash + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == ".." || segment.find('\0') != std::string::npos) return {403, {}};
    current = Entry(current, segment);
    if (current.empty()) return {404, {}};
  }
  std::error_code error;
  fs::path resolved = fs::canonical(current, error);
  if (error) return {404, {}};
  if (!Inside(root_, resolved)) return {403, {}};
  if (!fs::is_regular_file(resolved, error)) return {404, {}};
  return {200, resolved};
}

void StaticFiles::Serve(const httplib::Request& request, httplib::Response& response) const {
  Lookup lookup = Find(request.path);
  if (lookup.status == 403) return Answer(response, 403, "Forbidden");
  if (lookup.status != 200) return Answer(response, 404, "Not Found");

  int fd = ::open(lookup.file.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) ::close(fd);
    return Answer(response, 404, "Not Found");
  }
  response.set_header("Cache-Control", "no-store");
  const std::string etag = EntityTag(info);
  const std::string lastModified = HttpDate(info);
  response.set_header("ETag", etag);
  response.set_header("Last-Modified", lastModified);
  response.set_header("Accept-Ranges", "bytes");
  // cpp-httplib answers every Range itself; a range of a file that has changed since the
  // client's copy (If-Range differs) must get the whole file instead.
  if (request.has_header("If-Range")) {
    const std::string validator = request.get_header_value("If-Range");
    if (validator != etag && validator != lastModified) {
      const_cast<httplib::Request&>(request).ranges.clear();
    }
  }
  const auto size = static_cast<uint64_t>(info.st_size);
  // Several ranges are answered here: the library's own multipart answer gives every part a
  // total length of 0 when the body comes from a provider. One range the library cuts out
  // of the whole file's body itself.
  const std::string boundary = "QzUpdateDemoParts";
  std::vector<Piece> pieces =
      request.ranges.size() > 1 ? Multipart(request.ranges, size, boundary) : std::vector<Piece>{};
  std::string type = "application/octet-stream";
  if (!pieces.empty()) {
    const_cast<httplib::Request&>(request).ranges.clear();
    response.status = 206;
    type = "multipart/byteranges; boundary=" + boundary;
  } else {
    pieces.push_back({"", 0, size});
  }
  auto body = std::make_shared<Body>(fd, std::move(pieces));
  response.set_content_provider(
      static_cast<size_t>(body->Length()), type,
      [body, rate = bytesPerSecond_](size_t offset, size_t length, httplib::DataSink& sink) {
        size_t size = std::min(length, kPieceSize);
        if (rate != 0) {
          size = std::min(size, std::max<size_t>(1, rate / kPiecesPerSecond));
          std::this_thread::sleep_for(std::chrono::microseconds(size * 1'000'000 / rate));
        }
        return body->Write(offset, size, sink);
      });
}

}  // namespace qz::demo

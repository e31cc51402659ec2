#include "StaticFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <system_error>
#include <thread>

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
  response.set_content_provider(
      static_cast<size_t>(info.st_size), "application/octet-stream",
      [fd, rate = bytesPerSecond_](size_t offset, size_t length, httplib::DataSink& sink) {
        std::array<char, kPieceSize> piece;
        size_t size = std::min(length, piece.size());
        if (rate != 0) {
          size = std::min(size, std::max<size_t>(1, rate / kPiecesPerSecond));
          std::this_thread::sleep_for(std::chrono::microseconds(size * 1'000'000 / rate));
        }
        ssize_t got = ::pread(fd, piece.data(), size, static_cast<off_t>(offset));
        // A file that shrank or cannot be read any more ends the transfer short; the
        // client sees fewer bytes than announced and treats the download as failed.
        if (got <= 0) return false;
        return sink.write(piece.data(), static_cast<size_t>(got));
      },
      [fd](bool) { ::close(fd); });
}

}  // namespace qz::demo

#pragma once

#include <httplib.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace qz::demo {

// Serves the ordinary files under one root folder by their request paths. File bodies are
// streamed from disk in small pieces, so a large archive never sits in memory whole.
// Names resolve as on the Windows web server that the real update server runs on: the
// exact name first, then a name that differs only in letter case.
class StaticFiles {
 public:
  // Throws std::filesystem::filesystem_error when `root` is not an existing folder.
  // Bodies go out at about `bytesPerSecond` each (0: as fast as the connection takes them).
  explicit StaticFiles(const std::filesystem::path& root, size_t bytesPerSecond = 0);

  struct Lookup {
    int status;  // 200 found, 403 outside the root, 404 missing or not an ordinary file
    std::filesystem::path file;
  };

  // Finds the file for an already percent-decoded request path such as
  // "/Support/VqPrime/QzUFiles/Vq/VQ.Zip". Never returns a file outside the root, whether
  // the path tries it with ".." or through a symbolic link.
  Lookup Find(const std::string& requestPath) const;

  // The first and last byte of a `size`-byte file that a request's range names (the
  // library's pair: -1 for a missing end), or nothing when it cannot be satisfied.
  static std::optional<std::pair<uint64_t, uint64_t>> Resolve(std::pair<ssize_t, ssize_t> range,
                                                              uint64_t size);

  // Handler for GET and HEAD.
  void Serve(const httplib::Request& request, httplib::Response& response) const;

  const std::filesystem::path& Root() const { return root_; }

 private:
  std::filesystem::path root_;
  size_t bytesPerSecond_;
};

}  // namespace qz::demo

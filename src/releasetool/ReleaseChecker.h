#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "platform/ByteRange.h"
#include "signing/SignedRelease.h"

namespace qz {

class CommandOptions;
class FileSystem;
class TransferObserver;
class UrlServices;

// `check`: fetches a published release (or reads a release folder) as the updater will and
// prints one OK, WARN or FAIL line per check.
class ReleaseChecker {
 public:
  ReleaseChecker(FileSystem& files, UrlServices& urls, std::ostream& out);

  // Runs `check <folder | http(s) address> [--public-key K]... [--name N]`; returns 0 when
  // no check failed, 1 otherwise. Throws qz::Error only for a wrong command line. The
  // update files are checked only when Version.INF could be had.
  int Run(const CommandOptions& options);

 private:
  enum class Verdict { kOk, kWarn, kFail };

  void Line(Verdict verdict, const std::string& text);
  // Where the file `name` of the release is read from.
  std::string PathOf(const std::string& name) const;
  // Fetches or reads `name` into the scratch folder; false (with a FAIL line) when it
  // cannot be had. `optional` files that the server lacks are passed over quietly.
  bool Fetch(const std::string& name, uint64_t limit, TransferObserver* observer, bool optional);
  std::optional<SignedRelease> CheckVersionInfo(const CommandOptions& options);
  void CheckSignature(const std::string& content, const CommandOptions& options,
                      std::optional<SignedRelease>& release);
  void CheckFile(const std::string& name, const std::optional<SignedRelease>& release);
  static bool IsCompanion(const std::string& name);
  // Reports whether the page companion `name` is there and matches its database file
  // chunk by chunk.
  void CheckCompanion(const std::string& name);
  // Asks the server for ranges of `name` (`size` bytes) as resumed downloads do; several
  // ranges at once only of the archive, as only its changed members are fetched so.
  void CheckRanges(const std::string& name, uint64_t size);
  // A second request naming `validator` in If-Range must get the same file.
  void CheckValidator(const std::string& name, const ByteRange& range,
                      const std::string& validator);

  FileSystem& files_;
  UrlServices& urls_;
  std::ostream& out_;
  std::string source_;   // the release folder, or its address ending in "/"
  std::string scratch_;  // a temporary folder: downloads, and the archive test's folder
  bool remote_ = false;
  bool failed_ = false;
};

}  // namespace qz

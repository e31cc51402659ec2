#pragma once

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace qz {

class CommandOptions;
class FileSystem;
struct PackMember;

// `pack`: turns a build folder into a release folder as the server serves it.
class ReleasePacker {
 public:
  // Runs the tool's "sign ..." command line, keeping what it prints in `printed`; returns
  // its exit code.
  using SignCommand =
      std::function<int(const std::vector<std::string>& args, std::string& printed)>;

  ReleasePacker(FileSystem& files, std::ostream& out);

  // Writes <out>/<name>/ with VQ.Zip, Data.TXT, VqData.TXT (with --sse), their page
  // companions (Data.PGZ, VqData.PGZ) and Version.INF,
  // first in a folder of its own beside it, which replaces the old release only once the
  // archive has passed the extraction library's test and, with --key, `sign` has signed it.
  // Throws qz::Error saying what is wrong; the old release then stays as it was.
  void Pack(const CommandOptions& options, const SignCommand& sign);

 private:
  // Refuses an updater among `members` that would cut customers off from later updates:
  // one without a server address, or, with --key, one that trusts none of the keys that
  // sign this release. Tells what an accepted one carries.
  void CheckUpdater(const std::vector<PackMember>& members, const CommandOptions& options);
  // Writes the whole release into `staging`, the archive tested.
  void WriteStaging(const std::filesystem::path& staging, const std::vector<PackMember>& members,
                    const CommandOptions& options);
  // Writes the page companion of the database file `database` beside it, so updaters
  // fetch only its changed pages.
  void WriteCompanion(const std::filesystem::path& staging, const std::string& database);
  // Signs the release in `staging`; returns what signing printed.
  std::string Sign(const std::filesystem::path& staging, const CommandOptions& options,
                   const SignCommand& sign);
  // Lists the files of the finished release.
  void Report(const std::filesystem::path& release, size_t members);

  FileSystem& files_;
  std::ostream& out_;
};

}  // namespace qz

#include "releasetool/BuildFolder.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <string_view>

#include "libunzip32/MemberPath.h"
#include "platform/Error.h"
#include "platform/TemporaryFileName.h"

namespace qz {
namespace {

namespace fs = std::filesystem;

constexpr size_t kLongestName = 255;

std::string Utf8(const fs::path& path) {
  const auto text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

// Why the install would refuse or rename this file, or empty when it takes it as it is.
std::string ProblemOf(const fs::directory_entry& entry, const PackMember& member) {
  const fs::file_status status = entry.symlink_status();
  if (fs::is_symlink(status)) return "is a link; put the file itself in the build folder.";
  if (!fs::is_regular_file(status)) return "is a device, socket or pipe, not a file.";
  const unzip32::MemberPath path = unzip32::MemberPath::From(member.relative, false, false);
  if (path.file.empty()) return "has no name the install can write.";
  // Releases are installed on Windows too, which stores some names differently.
  const std::string onWindows = unzip32::MemberPath::WindowsPart(path.file);
  if (path.file != member.name || onWindows != member.name) {
    return "cannot be written under that name on Windows (the install would write it as " +
           onWindows + ").";
  }
  if (member.name.size() > kLongestName) return "has a name longer than 255 bytes.";
  if (TemporaryFileName::IsOurs(member.name)) {
    return "has the name of the updater's own temporary files, which it deletes.";
  }
  const std::string folded = BuildFolder::Folded(member.name);
  if (folded == "qzufiles") return "has the name of the updater's staging folder.";
  // The host's own files: the information file says what is installed, and the database
  // files are installed with a backup only from --jet and --sse.
  if (folded == "version.inf" || folded == "data.mdb" || folded == "vqdata.mdf") {
    return "must not travel in VQ.Zip: it would replace the host's information file or "
           "overwrite the user's database before its backup. Give the Jet database with "
           "--jet and the SQL Server data file with --sse; pack writes Version.INF itself.";
  }
  return {};
}

// Decided by the first bytes, never by the file's mode, so that a checkout with and
// without executable bits, or one on Windows, packs the same archive: programs (ELF,
// Windows' MZ) and scripts ("#!") run, everything else is data.
bool IsExecutable(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char start[4] = {};
  in.read(start, sizeof start);
  const std::string_view read(start, static_cast<size_t>(in.gcount()));
  return read ==
             "\x7F"
             "ELF" ||
         read.substr(0, 2) == "#!" || read.substr(0, 2) == "MZ";
}

}  // namespace

std::string BuildFolder::Folded(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
  return name;
}

std::vector<PackMember> BuildFolder::Members(const fs::path& folder) {
  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    throw Error(Error::kPathNotFound, "the build folder " + Utf8(folder) + " does not exist.");
  }
  std::vector<PackMember> members;
  std::vector<std::string> problems;
  std::map<std::string, std::string> seen;  // folded member name -> relative path
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_directory() && !entry.is_symlink()) continue;
    PackMember member{entry.path(), Utf8(entry.path().lexically_relative(folder)),
                      Utf8(entry.path().filename()), false};
    if (const std::string problem = ProblemOf(entry, member); !problem.empty()) {
      problems.push_back(member.relative + " " + problem);
      continue;
    }
    auto [earlier, isNew] = seen.emplace(BuildFolder::Folded(member.name), member.relative);
    if (!isNew) {
      problems.push_back(member.relative + " and " + earlier->second +
                         " would be written as one file: the install drops folders.");
      continue;
    }
    member.executable = IsExecutable(entry.path());
    members.push_back(std::move(member));
  }
  if (!problems.empty()) {
    std::sort(problems.begin(), problems.end());
    std::string lines;
    for (const std::string& problem : problems) lines += "\n" + problem;
    throw Error(Error::kInvalidCall, "the install would refuse these files:" + lines);
  }
  if (members.empty()) {
    throw Error(Error::kFileNotFound, "the build folder " + Utf8(folder) + " holds no files.");
  }
  std::sort(members.begin(), members.end(),
            [](const PackMember& a, const PackMember& b) { return a.name < b.name; });
  return members;
}

}  // namespace qz

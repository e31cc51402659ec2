#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace qz {

// A file of the vendor's build folder as a member of the update archive. The install drops
// stored folders, so a member is stored under the name it will be written as.
struct PackMember {
  std::filesystem::path source;
  std::string relative;  // the path below the build folder, "/" between parts, UTF-8
  std::string name;      // the member's name: the file's own name, UTF-8
  // Starts as a program (ELF, MZ) or a script ("#!"): stored as 0755, else 0644.
  bool executable = false;
};

// The build folder that `pack` turns into the update archive.
class BuildFolder {
 public:
  // Every file below `folder`, sorted by member name (bytewise). Throws qz::Error listing,
  // one line per file, everything the install would refuse or get wrong: links, devices,
  // sockets and pipes, names Windows or the extraction library cannot write, names that
  // meet once folders are dropped (case-insensitively), names of the updater's own
  // temporary files and of its staging folder, and the host's Version.INF, Data.Mdb and
  // VqData.Mdf, which travel beside the archive.
  static std::vector<PackMember> Members(const std::filesystem::path& folder);

  // `name` with its ASCII letters in lower case: the install matches names that way.
  static std::string Folded(std::string name);
};

}  // namespace qz

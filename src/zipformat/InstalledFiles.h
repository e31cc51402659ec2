#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "zipformat/ZipMember.h"

namespace qz {

class FileSystem;

// The files an installation already has, as extracting an archive into its folder would
// meet them: a member lands under the name the extraction library gives it once folders
// are dropped, matched with an existing file without regard to case.
class InstalledFiles {
 public:
  InstalledFiles(FileSystem& files, std::string folder);

  // The name `member` would be written under in the folder; empty when it writes no file.
  static std::string TargetName(const std::string& memberName);
  // `name` as the extraction library compares names: ASCII letters folded to lower case,
  // every other byte as it is, whatever the user's locale.
  static std::string Folded(const std::string& name);

  // True when the file `member` would replace exists and has the member's uncompressed size
  // and CRC-32 (and, unless `sha256` is empty, that SHA-256 in lowercase hex), so writing
  // the member would change nothing. Reads the file when the size matches; a file that
  // cannot be read does not match.
  bool Holds(const ZipMember& member, const std::string& sha256 = {});

 private:
  FileSystem& files_;
  std::string folder_;
  // Existing file names by their case-folded spelling.
  std::map<std::string, std::string> names_;
};

}  // namespace qz

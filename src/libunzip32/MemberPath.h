#pragma once

#include <string>
#include <vector>

namespace qz::unzip32 {

// Where a member may be written, relative to the extraction folder. Archives come from
// the network, so a stored name can never lead outside the folder: both "/" and "\" are
// separators, and empty, "." and ".." parts, a leading root and a drive letter are dropped.
// On Windows parts are mapped to names Windows can store: characters it forbids become
// "_", trailing dots and spaces go, device names get a leading "_". Elsewhere parts stay
// as stored, and a part with a control character makes the member unusable.
struct MemberPath {
  std::vector<std::string> folders;  // always empty when folders are not recreated
  std::string file;                  // empty: nothing may be written for this member
  bool changed = false;              // a root, drive or parent reference was dropped

  // `honorDirectories` keeps the folder parts; `spaceToUnderscore` turns spaces into "_".
  static MemberPath From(const std::string& name, bool honorDirectories, bool spaceToUnderscore);

  // `part` as the Windows build stores it: characters Windows forbids become "_", trailing
  // dots and spaces go, a device name gets a leading "_"; may become empty. The same on
  // every platform, for tools that prepare archives that Windows installs too.
  static std::string WindowsPart(const std::string& part);

  // The path for messages and for matching names, parts joined by "/".
  std::string Joined() const;
};

}  // namespace qz::unzip32

#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

class FileSystem;

// The members that an archive of changed members leaves out because the installation held
// them when it was made. Staged beside that archive, it lets a later install find the files
// changed or deleted since, which the archive would leave other than the whole archive does.
// Its text: a first line "QzUpdate left-out members 1 <directory SHA-256>", then a line per
// member "<size> <CRC-32, 8 hex digits> <SHA-256 in hex, or -> <name>".
class LeftOutMembers {
 public:
  // The staged list's name, beside the staged archive.
  static constexpr char kStagedName[] = "VQ.Zip.LeftOut";
  // No list of an archive's members is longer (65,535 names of up to 64 KiB would be; no
  // real archive has them).
  static constexpr size_t kMaxBytes = size_t{64} << 20;

  struct Member {
    // As the archive's directory gives it.
    std::string name;
    uint64_t size = 0;
    uint32_t crc32 = 0;
    // The signed SHA-256 in lowercase hex; empty in a run without signatures.
    std::string sha256;
  };

  // SHA-256 (lowercase hex) of the published archive from its directory's start to its end.
  std::string directorySha256;
  std::vector<Member> members;

  std::string Text() const;
  // Reads and parses the list at `path`; throws qz::Error when it cannot be read or parsed.
  static LeftOutMembers Read(FileSystem& files, const std::string& path);
  // Throws qz::Error saying why when `text` is not such a list.
  static LeftOutMembers Parse(std::string_view text);
  // False for a name the list cannot hold (one with a line break): such a member is fetched.
  static bool Listable(const std::string& name);

  // The names of the members whose installed file in `folder` no longer has the listed
  // size, CRC-32 and (where listed) SHA-256, or is missing.
  std::vector<std::string> Changed(FileSystem& files, const std::string& folder) const;
};

}  // namespace qz

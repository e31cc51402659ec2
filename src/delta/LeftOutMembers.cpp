#include "delta/LeftOutMembers.h"

#include <charconv>
#include <cstdio>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "zipformat/InstalledFiles.h"
#include "zipformat/ZipMember.h"

namespace qz {
namespace {

constexpr std::string_view kHeading = "QzUpdate left-out members 1 ";
constexpr size_t kSha256Digits = 64;

[[noreturn]] void Malformed(const std::string& why) {
  throw Error(Error::kInternalError, "the list of unchanged files is damaged: " + why,
              "LeftOutMembers");
}

bool IsHex(std::string_view text) {
  return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

// The next field of `line` up to a space, which is consumed.
std::string_view Field(std::string_view& line) {
  const size_t space = line.find(' ');
  if (space == std::string_view::npos) Malformed("a line lacks a field");
  std::string_view field = line.substr(0, space);
  line.remove_prefix(space + 1);
  return field;
}

template <typename Number>
Number ParsedNumber(std::string_view text, int base) {
  Number value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    Malformed("not a number: " + std::string(text));
  }
  return value;
}

LeftOutMembers::Member ParsedMember(std::string_view line) {
  LeftOutMembers::Member member;
  member.size = ParsedNumber<uint64_t>(Field(line), 10);
  const std::string_view crc = Field(line);
  if (crc.size() != 8) Malformed("a CRC-32 of other than 8 digits");
  member.crc32 = ParsedNumber<uint32_t>(crc, 16);
  const std::string_view sha256 = Field(line);
  if (sha256 != "-") {
    if (sha256.size() != kSha256Digits || !IsHex(sha256)) Malformed("a SHA-256 that is not one");
    member.sha256 = sha256;
  }
  if (line.empty()) Malformed("a member without a name");
  member.name = line;
  return member;
}

}  // namespace

bool LeftOutMembers::Listable(const std::string& name) {
  return !name.empty() && name.find_first_of("\r\n") == std::string::npos;
}

std::string LeftOutMembers::Text() const {
  std::string text = std::string(kHeading) + directorySha256 + "\n";
  for (const Member& member : members) {
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", member.crc32);
    text += std::to_string(member.size) + " " + crc + " " +
            (member.sha256.empty() ? "-" : member.sha256) + " " + member.name + "\n";
  }
  return text;
}

LeftOutMembers LeftOutMembers::Parse(std::string_view text) {
  LeftOutMembers list;
  bool first = true;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    if (end == std::string_view::npos) Malformed("its last line is cut short");
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (!first) {
      list.members.push_back(ParsedMember(line));
      continue;
    }
    first = false;
    if (line.substr(0, kHeading.size()) != kHeading) Malformed("it has no heading");
    list.directorySha256 = line.substr(kHeading.size());
    if (list.directorySha256.size() != kSha256Digits || !IsHex(list.directorySha256)) {
      Malformed("its heading names no directory");
    }
  }
  if (first) Malformed("it is empty");
  return list;
}

LeftOutMembers LeftOutMembers::Read(FileSystem& files, const std::string& path) {
  return Parse(files.ReadTextFile(path, kMaxBytes));
}

std::vector<std::string> LeftOutMembers::Changed(FileSystem& files,
                                                 const std::string& folder) const {
  InstalledFiles installed(files, folder);
  std::vector<std::string> changed;
  for (const Member& listed : members) {
    ZipMember member;
    member.name = listed.name;
    member.uncompressedSize = listed.size;
    member.crc32 = listed.crc32;
    if (!installed.Holds(member, listed.sha256)) changed.push_back(listed.name);
  }
  return changed;
}

}  // namespace qz

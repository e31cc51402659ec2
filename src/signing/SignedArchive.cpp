#include "signing/SignedArchive.h"

#include <map>

#include "signing/ItemFields.h"
#include "startup/InfoFile.h"

namespace qz {
namespace {

const char kDirectoryKey[] = "ArchiveDirectory";
const char kMemberKey[] = "ArchiveMember";
const char kSignatureKey[] = "MemberSignature";
const char kHexDigits[] = "0123456789ABCDEF";

bool Escaped(unsigned char c) {
  return c < 0x21 || c >= 0x7F || c == '%' || c == '"' || c == ',';
}

int HexValue(char c) {
  for (int i = 0; i < 16; ++i) {
    if (kHexDigits[i] == c) return i;
  }
  return -1;
}

std::string MemberValue(const ArchiveMemberItem& member) {
  return std::to_string(member.size) + " " + member.sha256 + " " +
         SignedArchive::EncodeName(member.name);
}

ArchiveMemberItem ParseMember(const std::string& value) {
  ArchiveMemberItem member;
  std::string size, name;
  if (!ItemFields::SplitThree(value, size, member.sha256, name)) {
    ItemFields::Malformed("ArchiveMember needs a size, a SHA-256 and a name");
  }
  const std::optional<std::string> decoded = SignedArchive::DecodeName(name);
  if (!decoded || decoded->empty()) ItemFields::Malformed("an ArchiveMember's name is not encoded");
  member.name = *decoded;
  if (!ItemFields::IsSize(size) || !ItemFields::IsSha256(member.sha256)) {
    ItemFields::Malformed("the size or SHA-256 of the member " + name + " is not well formed");
  }
  member.size = std::stoull(size);
  return member;
}

void ParseDirectory(const std::string& value, SignedArchive& archive) {
  std::string offset, length;
  if (!ItemFields::SplitThree(value, offset, length, archive.directorySha256) ||
      !ItemFields::IsSize(offset) || !ItemFields::IsSize(length) ||
      !ItemFields::IsSha256(archive.directorySha256)) {
    ItemFields::Malformed("ArchiveDirectory needs an offset, a length and a SHA-256");
  }
  archive.directoryOffset = std::stoull(offset);
  archive.directoryLength = std::stoull(length);
  if (archive.directoryLength == 0 ||
      archive.directoryOffset > UINT64_MAX - archive.directoryLength) {
    ItemFields::Malformed("ArchiveDirectory's length is out of range");
  }
}

}  // namespace

std::optional<SignedArchive> SignedArchive::FromVersionInfo(const std::string& content) {
  std::multimap<std::string, std::string> items;
  const InfoFile file(content);
  for (const auto& [key, value] : file.Items()) {
    if (key != kDirectoryKey && key != kMemberKey && key != kSignatureKey) continue;
    items.emplace(key, value);
  }
  if (items.count(kSignatureKey) == 0) return std::nullopt;
  SignedArchive archive;
  if (items.count(kDirectoryKey) != 1) ItemFields::Malformed("ArchiveDirectory must occur once");
  ParseDirectory(items.find(kDirectoryKey)->second, archive);
  // A multimap keeps items of one key in the order they were added: the file's order.
  auto [first, last] = items.equal_range(kMemberKey);
  for (auto it = first; it != last; ++it) archive.members.push_back(ParseMember(it->second));
  auto [sigFirst, sigLast] = items.equal_range(kSignatureKey);
  for (auto it = sigFirst; it != sigLast; ++it) archive.signatures.push_back(it->second);
  return archive;
}

std::string SignedArchive::SignedLines() const {
  std::string text = std::string(kDirectoryKey) + "=" + std::to_string(directoryOffset) + " " +
                     std::to_string(directoryLength) + " " + directorySha256 + "\n";
  for (const ArchiveMemberItem& member : members) {
    text += std::string(kMemberKey) + "=" + MemberValue(member) + "\n";
  }
  return text;
}

std::string SignedArchive::Items() const {
  std::string text;
  size_t from = 0;
  const std::string lines = SignedLines();
  while (from < lines.size()) {
    const size_t end = lines.find('\n', from);
    text += "\"" + lines.substr(from, end - from) + "\"\r\n";
    from = end + 1;
  }
  for (const std::string& signature : signatures) {
    text += "\"" + std::string(kSignatureKey) + "=" + signature + "\"\r\n";
  }
  return text;
}

std::string SignedArchive::EncodeName(const std::string& name) {
  std::string encoded;
  for (char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (!Escaped(byte)) {
      encoded += c;
      continue;
    }
    encoded += '%';
    encoded += kHexDigits[byte >> 4];
    encoded += kHexDigits[byte & 0xF];
  }
  return encoded;
}

std::optional<std::string> SignedArchive::DecodeName(const std::string& text) {
  std::string name;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      name += text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
    if (low < 0) return std::nullopt;
    name += static_cast<char>(high * 16 + low);
    i += 2;
  }
  // One spelling per name: what was escaped needlessly, or not at all, is refused.
  if (EncodeName(name) != text) return std::nullopt;
  return name;
}

}  // namespace qz

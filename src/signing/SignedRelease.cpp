#include "signing/SignedRelease.h"

#include <map>
#include <optional>

#include "platform/Error.h"
#include "signing/ItemFields.h"
#include "signing/UtcTimestamp.h"
#include "startup/InfoFile.h"

namespace qz {
namespace {

const char kCanonicalHeader[] = "QzUpdate signed update 1\n";
const char kMemberHeader[] = "QzUpdate signed update 2\n";

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "<name> <size> <sha256>" with single spaces; the name holds no space.
UpdateFile ParseUpdateFile(const std::string& value) {
  UpdateFile file;
  std::string size;
  if (!ItemFields::SplitThree(value, file.name, size, file.sha256)) {
    ItemFields::Malformed("UpdateFile needs a name, a size and a SHA-256");
  }
  if (file.name.empty()) ItemFields::Malformed("an UpdateFile has no name");
  if (!ItemFields::IsSize(size))
    ItemFields::Malformed("the size of " + file.name + " is not a number");
  if (!ItemFields::IsSha256(file.sha256)) {
    ItemFields::Malformed("the SHA-256 of " + file.name + " is not 64 lowercase hex digits");
  }
  file.size = std::stoull(size);
  return file;
}

// The one value of a signed key that must occur exactly once.
std::string Single(const std::multimap<std::string, std::string>& items, const std::string& key) {
  const size_t count = items.count(key);
  if (count == 0) ItemFields::Malformed(key + " is missing");
  if (count > 1) ItemFields::Malformed(key + " occurs " + std::to_string(count) + " times");
  return items.find(key)->second;
}

}  // namespace

SignedRelease SignedRelease::FromVersionInfo(const std::string& content) {
  static const char* const kSignedKeys[] = {"ApplicationName", "ApplicationVersion", "UpdateFile",
                                            "SignatureExpires", "Signature"};
  std::multimap<std::string, std::string> items;
  const InfoFile file(content);
  for (const auto& [key, value] : file.Items()) {
    for (const char* signedKey : kSignedKeys) {
      if (key != signedKey) continue;
      // A line break inside a quoted value would let one value pose as several lines; a
      // double quote (possible in an unquoted item) cannot be written back as one item.
      if (value.find_first_of("\r\n") != std::string::npos)
        ItemFields::Malformed(key + " holds a line break");
      if (value.find('"') != std::string::npos)
        ItemFields::Malformed(key + " holds a double quote");
      items.emplace(key, value);
    }
  }
  if (items.count("Signature") == 0) throw Error(kNoSignature, "It carries no signature.");
  SignedRelease release;
  release.applicationName = Single(items, "ApplicationName");
  release.applicationVersion = Single(items, "ApplicationVersion");
  release.expires = Single(items, "SignatureExpires");
  const std::optional<int64_t> expiresAt = UtcTimestamp::Parse(release.expires);
  if (!expiresAt) ItemFields::Malformed("SignatureExpires is not a time like 2027-06-30T00:00:00Z");
  release.expiresAt = *expiresAt;
  // A multimap keeps items of one key in the order they were added: the file's order.
  auto [first, last] = items.equal_range("UpdateFile");
  for (auto it = first; it != last; ++it) {
    UpdateFile file = ParseUpdateFile(it->second);
    if (release.Find(file.name) != nullptr) ItemFields::Malformed(file.name + " is listed twice");
    release.files.push_back(std::move(file));
  }
  if (release.files.empty()) ItemFields::Malformed("no UpdateFile is listed");
  auto [sigFirst, sigLast] = items.equal_range("Signature");
  for (auto it = sigFirst; it != sigLast; ++it) release.signatures.push_back(it->second);
  release.archive = SignedArchive::FromVersionInfo(content);
  return release;
}

void SignedRelease::CheckArchiveEnd() const {
  if (!archive) return;
  const UpdateFile* zip = Find("VQ.Zip");
  if (zip == nullptr || zip->size != archive->ArchiveSize()) {
    ItemFields::Malformed("ArchiveDirectory does not end where the signed VQ.Zip ends");
  }
}

std::string SignedRelease::CanonicalText() const {
  return kCanonicalHeader + FileLines() + "SignatureExpires=" + expires + "\n";
}

std::string SignedRelease::MemberText() const {
  return kMemberHeader + FileLines() + (archive ? archive->SignedLines() : "") +
         "SignatureExpires=" + expires + "\n";
}

std::string SignedRelease::FileLines() const {
  std::string text = "ApplicationName=" + applicationName + "\n";
  text += "ApplicationVersion=" + applicationVersion + "\n";
  for (const UpdateFile& file : files) {
    text += "UpdateFile=" + file.name + " " + std::to_string(file.size) + " " + file.sha256 + "\n";
  }
  return text;
}

const UpdateFile* SignedRelease::Find(const std::string& serverName) const {
  for (const UpdateFile& file : files) {
    if (SameName(file.name, serverName)) return &file;
  }
  return nullptr;
}

std::string SignedRelease::Items() const {
  auto line = [](const std::string& item) { return "\"" + item + "\"\r\n"; };
  std::string text = line("ApplicationName=" + applicationName);
  text += line("ApplicationVersion=" + applicationVersion);
  for (const UpdateFile& file : files) {
    text += line("UpdateFile=" + file.name + " " + std::to_string(file.size) + " " + file.sha256);
  }
  text += line("SignatureExpires=" + expires);
  for (const std::string& signature : signatures) text += line("Signature=" + signature);
  if (archive) text += archive->Items();
  return text;
}

}  // namespace qz

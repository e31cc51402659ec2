#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "signing/SignedArchive.h"

namespace qz {

// One update file as the vendor signed it: its name on the server, size and SHA-256.
struct UpdateFile {
  std::string name;
  uint64_t size = 0;
  std::string sha256;  // 64 lowercase hex digits
};

// The signed items of a server's Version.INF:
//   ApplicationName=Vq
//   ApplicationVersion=1.3.0
//   UpdateFile=<server name> <size in bytes> <SHA-256 in lowercase hex>   (one per file)
//   SignatureExpires=YYYY-MM-DDTHH:MM:SSZ
//   Signature=<Ed25519 signature of CanonicalText(), base64>              (one or more)
// and, for an update of VQ.Zip member by member, the items of SignedArchive.
// Other items are not signed and not looked at; older updaters ignore these ones.
struct SignedRelease {
  // Reads the items with the updater's own reader, so the signed version is the one it
  // compares. Throws qz::Error: kNoSignature without a Signature item, kMalformed when
  // a signed item is missing, repeated, badly formed or holds a line break.
  static SignedRelease FromVersionInfo(const std::string& content);

  // Throws qz::Error(kMalformed) when the archive's items do not end where the signed
  // VQ.Zip ends. Judged only once the signatures are known to be the vendor's: a changed
  // size is a changed item, not a malformed one.
  void CheckArchiveEnd() const;

  // The exact bytes that the signatures cover.
  std::string CanonicalText() const;
  // The exact bytes that the member signatures cover: CanonicalText's items under another
  // first line, with the archive's signed lines before the expiry.
  std::string MemberText() const;

  // The file of this server name (letter case ignored), or null.
  const UpdateFile* Find(const std::string& serverName) const;

  // The signing items as Version.INF lines (quoted, CR LF): these items with their
  // signatures, then the archive's.
  std::string Items() const;

  static constexpr int32_t kNoSignature = static_cast<int32_t>(0x800B0100);
  static constexpr int32_t kMalformed = static_cast<int32_t>(0x800B0003);

  std::string applicationName;
  std::string applicationVersion;
  std::vector<UpdateFile> files;
  std::string expires;
  int64_t expiresAt = 0;
  std::vector<std::string> signatures;
  // The archive's directory and members; nothing for a release signed as a whole only
  // and, once UpdateVerifier has read it, for one whose member signature no trusted key made.
  std::optional<SignedArchive> archive;

 private:
  std::string FileLines() const;
};

}  // namespace qz

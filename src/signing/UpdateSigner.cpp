#include "signing/UpdateSigner.h"

#include "startup/InfoFile.h"

namespace qz {
namespace {

bool IsSigningItem(const std::string& line) {
  static const char* const kKeys[] = {"ApplicationName",  "ApplicationVersion", "UpdateFile",
                                      "SignatureExpires", "Signature",          "ArchiveDirectory",
                                      "ArchiveMember",    "MemberSignature"};
  const InfoFile items(line);
  for (const auto& [key, value] : items.Items()) {
    for (const char* signingKey : kKeys) {
      if (key == signingKey) return true;
    }
  }
  return false;
}

}  // namespace

UpdateSigner::UpdateSigner(std::vector<SigningKeys::SecretKey> keys) : keys_(std::move(keys)) {}

UpdateSigner::~UpdateSigner() {
  for (SigningKeys::SecretKey& key : keys_) sodium_memzero(key.data(), key.size());
}

void UpdateSigner::Sign(SignedRelease& release) const {
  release.signatures = SignaturesOf(release.CanonicalText());
  if (release.archive) release.archive->signatures = SignaturesOf(release.MemberText());
}

std::vector<std::string> UpdateSigner::SignaturesOf(const std::string& text) const {
  std::vector<std::string> signatures;
  for (const SigningKeys::SecretKey& key : keys_) {
    unsigned char signature[crypto_sign_BYTES];
    crypto_sign_detached(signature, nullptr, reinterpret_cast<const unsigned char*>(text.data()),
                         text.size(), key.data());
    signatures.push_back(SigningKeys::ToBase64(signature, sizeof signature));
  }
  return signatures;
}

std::string UpdateSigner::Rewrite(const std::string& versionInfo, const SignedRelease& release) {
  std::string kept;
  size_t pos = 0;
  while (pos < versionInfo.size()) {
    size_t end = versionInfo.find('\n', pos);
    end = end == std::string::npos ? versionInfo.size() : end + 1;
    std::string line = versionInfo.substr(pos, end - pos);
    pos = end;
    if (IsSigningItem(line)) continue;
    if (line.back() != '\n') line += "\r\n";
    kept += line;
  }
  return kept + release.Items();
}

}  // namespace qz

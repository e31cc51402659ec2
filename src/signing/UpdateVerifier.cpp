#include "signing/UpdateVerifier.h"

#include "platform/Error.h"
#include "signing/UtcTimestamp.h"

namespace qz {

UpdateVerifier::UpdateVerifier(const std::vector<std::string>& publicKeys) {
  for (const std::string& key : publicKeys) keys_.push_back(SigningKeys::ParsePublic(key));
  if (Enabled() && sodium_init() < 0) {
    throw Error(kBadSignature, "libsodium cannot be initialised.");
  }
}

SignedRelease UpdateVerifier::Verify(const std::string& versionInfo,
                                     const std::string& applicationName, int64_t now) const {
  SignedRelease release = SignedRelease::FromVersionInfo(versionInfo);
  if (!SignedByTrustedKey(release.CanonicalText(), release.signatures)) {
    throw Error(kBadSignature,
                "Its signature was not made with the vendor's key, or a signed item has been "
                "changed.");
  }
  if (!applicationName.empty() && release.applicationName != applicationName) {
    throw Error(kOtherApplication, "It is signed for " + release.applicationName + ", not for " +
                                       applicationName + ".");
  }
  if (now > release.expiresAt) {
    throw Error(kExpired, "Its signature expired on " + release.expires + ".");
  }
  // Without a trusted member signature the release is checked as a whole, as by updaters
  // that know nothing of member items.
  if (release.archive && !SignedByTrustedKey(release.MemberText(), release.archive->signatures)) {
    release.archive.reset();
  }
  release.CheckArchiveEnd();
  return release;
}

bool UpdateVerifier::SignedByTrustedKey(const std::string& text,
                                        const std::vector<std::string>& signatures) const {
  const auto* message = reinterpret_cast<const unsigned char*>(text.data());
  for (const std::string& encoded : signatures) {
    unsigned char signature[crypto_sign_BYTES];
    if (!SigningKeys::FromBase64(encoded, signature, sizeof signature)) continue;
    for (const SigningKeys::PublicKey& key : keys_) {
      if (crypto_sign_verify_detached(signature, message, text.size(), key.data()) == 0) {
        return true;
      }
    }
  }
  return false;
}

}  // namespace qz

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "signing/SignedRelease.h"
#include "signing/SigningKeys.h"

namespace qz {

// Decides whether a server's Version.INF was signed by the vendor: a signature by one of
// the trusted keys over its signed items, for this application, not yet expired.
class UpdateVerifier {
 public:
  // `publicKeys` as base64 text; throws qz::Error(SigningKeys::kBadKey) for a bad one.
  // Without keys nothing is trusted and nothing should be asked.
  explicit UpdateVerifier(const std::vector<std::string>& publicKeys);

  bool Enabled() const { return !keys_.empty(); }

  // The signed release, or qz::Error with the reason it is refused (kNoSignature,
  // kMalformed, kBadSignature, kOtherApplication, kExpired). An empty `applicationName`
  // accepts any. `now` in seconds since 1970 UTC. The release's archive items are kept
  // only when a trusted key made one of their member signatures.
  SignedRelease Verify(const std::string& versionInfo, const std::string& applicationName,
                       int64_t now) const;

  static constexpr int32_t kBadSignature = static_cast<int32_t>(0x80096010);
  static constexpr int32_t kOtherApplication = static_cast<int32_t>(0x800B0004);
  static constexpr int32_t kExpired = static_cast<int32_t>(0x800B0101);

 private:
  // True when one of `signatures` (base64) is a trusted key's signature of `text`.
  bool SignedByTrustedKey(const std::string& text,
                          const std::vector<std::string>& signatures) const;

  std::vector<SigningKeys::PublicKey> keys_;
};

}  // namespace qz

#pragma once

#include <string>
#include <vector>

#include "signing/SignedRelease.h"
#include "signing/SigningKeys.h"

namespace qz {

// Signs a release with one or more secret keys (two while keys are being rotated).
class UpdateSigner {
 public:
  explicit UpdateSigner(std::vector<SigningKeys::SecretKey> keys);
  ~UpdateSigner();
  UpdateSigner(const UpdateSigner&) = delete;
  UpdateSigner& operator=(const UpdateSigner&) = delete;

  // Replaces the release's signatures with one per key over its canonical text, and, when
  // it has archive items, their signatures with one per key over its member text.
  void Sign(SignedRelease& release) const;

  // `versionInfo` with every signing item dropped and `release`'s items appended, so a
  // file can be signed again; lines that are not signing items stay as they were.
  static std::string Rewrite(const std::string& versionInfo, const SignedRelease& release);

 private:
  std::vector<std::string> SignaturesOf(const std::string& text) const;

  std::vector<SigningKeys::SecretKey> keys_;
};

}  // namespace qz

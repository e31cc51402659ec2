#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/TransferObserver.h"
#include "signing/SignedRelease.h"
#include "zipformat/Sha256.h"

namespace qz {

// Compares one update file with its signed size and SHA-256 while its bytes pass by, as
// a download's observer or fed from a file, so the file is read only once.
class StreamedFileCheck : public TransferObserver {
 public:
  // `expected` is the signed item; without one every content is refused for `whyNot`.
  StreamedFileCheck(std::optional<UpdateFile> expected, std::string whyNot);

  // Hashes the piece; refuses (returns false) once more bytes than signed have come.
  bool Add(const char* data, size_t size);
  bool OnData(const char* data, size_t size, uint64_t received, int64_t expected) override;

  // Why the bytes seen so far are not the signed file (a sentence); nothing when they are.
  std::optional<std::string> Mismatch() const;

  // Why a download that ended with `result` is refused: its content does not match, or
  // this check stopped it for having more bytes than signed. Nothing when the content
  // matches or the transfer failed for a reason of its own.
  std::optional<std::string> RefusalAfter(int32_t result) const;

  static constexpr int32_t kHashMismatch = static_cast<int32_t>(0x80091007);

 private:
  std::optional<UpdateFile> expected_;
  std::string whyNot_;
  Sha256 hash_;
  uint64_t seen_ = 0;
  bool overran_ = false;
};

}  // namespace qz

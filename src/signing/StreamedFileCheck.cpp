#include "signing/StreamedFileCheck.h"

namespace qz {

StreamedFileCheck::StreamedFileCheck(std::optional<UpdateFile> expected, std::string whyNot)
    : expected_(std::move(expected)), whyNot_(std::move(whyNot)) {}

bool StreamedFileCheck::Add(const char* data, size_t size) {
  seen_ += size;
  if (!expected_ || seen_ > expected_->size) {
    overran_ = true;
    return false;
  }
  hash_.Add(data, size);
  return true;
}

bool StreamedFileCheck::OnData(const char* data, size_t size, uint64_t, int64_t) {
  return Add(data, size);
}

std::optional<std::string> StreamedFileCheck::Mismatch() const {
  if (!expected_) return whyNot_;
  const std::string signedSize = std::to_string(expected_->size) + " bytes";
  if (overran_) return "It is longer than the signed " + signedSize + ".";
  if (seen_ != expected_->size) {
    return "It has " + std::to_string(seen_) + " bytes instead of the signed " + signedSize + ".";
  }
  if (hash_.Hex() != expected_->sha256) return "Its SHA-256 differs from the signed one.";
  return std::nullopt;
}

std::optional<std::string> StreamedFileCheck::RefusalAfter(int32_t result) const {
  if (result != 0 && !overran_) return std::nullopt;
  return Mismatch();
}

}  // namespace qz

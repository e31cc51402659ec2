#include "delta/PartCollector.h"

#include <iterator>

#include "platform/TransferObserver.h"
#include "zipformat/ZipBytes.h"

namespace qz {

PartCollector::PartCollector(TransferObserver* observer) : observer_(observer) {}

void PartCollector::Expect(int64_t expected, uint64_t maxPart) {
  expected_ = expected;
  maxPart_ = maxPart;
}

bool PartCollector::OnPart(const ByteRange& part) {
  if (part.last == kUnknownLast || part.Length() > maxPart_) return false;
  auto& [bytes, length] = pending_[part.first];
  current_ = &bytes;
  length = part.Length();
  bytes.clear();
  bytes.reserve(static_cast<size_t>(length));
  return true;
}

bool PartCollector::OnBytes(uint64_t, const char* data, size_t size) {
  current_->append(data, size);
  received_ += size;
  if (observer_ != nullptr && !observer_->OnData(data, size, received_, expected_)) {
    cancelled_ = true;
    return false;
  }
  return true;
}

bool PartCollector::OnTick() {
  if (observer_ != nullptr && !observer_->OnTick()) cancelled_ = true;
  return !cancelled_;
}

void PartCollector::OnReplyEnd(bool accepted) {
  std::map<uint64_t, std::pair<std::string, uint64_t>> pending;
  pending.swap(pending_);
  current_ = nullptr;
  if (!accepted) return;
  for (auto& [first, part] : pending) {
    if (part.first.size() == part.second) Join(first, std::move(part.first));
  }
}

// Parts that continue one another become one, so a range a server sent in pieces (or
// asked for again in pieces) is still found by Slice.
void PartCollector::Join(uint64_t first, std::string bytes) {
  auto next = parts_.find(first + bytes.size());
  if (next != parts_.end()) {
    bytes += next->second;
    parts_.erase(next);
  }
  auto at = parts_.lower_bound(first);
  if (at != parts_.begin()) {
    auto before = std::prev(at);
    if (before->first + before->second.size() == first) {
      before->second += bytes;
      return;
    }
  }
  parts_[first] = std::move(bytes);
}

// The validator's line, then each part as its first byte, its length and its bytes.
std::string PartCollector::Kept(const std::string& validator) const {
  std::string kept = validator + "\n";
  for (const auto& [first, bytes] : parts_) {
    ZipBytes::Append64(kept, first);
    ZipBytes::Append64(kept, bytes.size());
    kept += bytes;
  }
  return kept;
}

bool PartCollector::Restore(const std::string& kept, const std::string& validator) {
  const std::string_view all(kept);
  if (validator.empty() || all.substr(0, validator.size() + 1) != validator + "\n") return false;
  std::map<uint64_t, std::string> parts;
  for (size_t at = validator.size() + 1; at < all.size();) {
    if (all.size() - at < 16) return false;
    const uint64_t first = ZipBytes::U64(all, at);
    const uint64_t length = ZipBytes::U64(all, at + 8);
    at += 16;
    if (length == 0 || length > all.size() - at) return false;
    parts[first] = std::string(all.substr(at, static_cast<size_t>(length)));
    at += static_cast<size_t>(length);
  }
  parts_ = std::move(parts);
  pending_.clear();
  current_ = nullptr;
  return true;
}

std::string_view PartCollector::Slice(const ByteRange& range) const {
  auto after = parts_.upper_bound(range.first);
  if (after == parts_.begin()) return {};
  const auto& [first, bytes] = *std::prev(after);
  if (range.last - first >= bytes.size()) return {};
  return std::string_view(bytes).substr(static_cast<size_t>(range.first - first),
                                        static_cast<size_t>(range.Length()));
}

}  // namespace qz

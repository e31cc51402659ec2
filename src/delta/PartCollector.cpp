#include "delta/PartCollector.h"

#include <iterator>

#include "platform/TransferObserver.h"

namespace qz {

PartCollector::PartCollector(TransferObserver* observer) : observer_(observer) {}

void PartCollector::Expect(int64_t expected, uint64_t maxPart) {
  expected_ = expected;
  maxPart_ = maxPart;
}

bool PartCollector::OnPart(const ByteRange& part) {
  if (part.last == kUnknownLast || part.Length() > maxPart_) return false;
  current_ = &parts_[part.first];
  current_->clear();
  current_->reserve(static_cast<size_t>(part.Length()));
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

std::string_view PartCollector::Slice(const ByteRange& range) const {
  auto after = parts_.upper_bound(range.first);
  if (after == parts_.begin()) return {};
  const auto& [first, bytes] = *std::prev(after);
  if (range.last - first >= bytes.size()) return {};
  return std::string_view(bytes).substr(static_cast<size_t>(range.first - first),
                                        static_cast<size_t>(range.Length()));
}

}  // namespace qz

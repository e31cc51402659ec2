#include "platform/ResumePlan.h"

#include <charconv>

#include "platform/ResumableTarget.h"

namespace qz {

ResumePlan::ResumePlan(const ResumableTarget& target)
    : offset_(target.Validator().empty() ? 0 : target.Kept()), validator_(target.Validator()) {}

std::vector<std::string> ResumePlan::RequestHeaders() const {
  if (offset_ == 0) return {};
  return {"Range: bytes=" + std::to_string(offset_) + "-", "If-Range: " + validator_};
}

std::string ResumePlan::ValidatorOf(const std::string& etag, const std::string& lastModified) {
  if (!etag.empty() && etag.rfind("W/", 0) != 0) return etag;
  return lastModified;
}

int64_t ResumePlan::RangeStart(const std::string& contentRange) {
  static constexpr char kUnit[] = "bytes ";
  if (contentRange.rfind(kUnit, 0) != 0) return -1;
  const char* begin = contentRange.data() + sizeof(kUnit) - 1;
  const char* end = contentRange.data() + contentRange.size();
  int64_t start = -1;
  auto [next, error] = std::from_chars(begin, end, start);
  if (error != std::errc() || next == end || *next != '-' || start < 0) return -1;
  return start;
}

}  // namespace qz

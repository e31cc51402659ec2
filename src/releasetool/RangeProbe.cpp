#include "releasetool/RangeProbe.h"

#include <algorithm>

#include "platform/UrlServices.h"

namespace qz {

RangeProbe::Answer RangeProbe::Ask(UrlServices& urls, const std::string& url,
                                   const std::vector<ByteRange>& ranges,
                                   const std::string& ifRange) {
  RangeProbe probe(ranges);
  Answer answer;
  answer.reply = urls.FetchRanges(url, ranges, ifRange, probe);
  answer.asAsked = std::ranges::all_of(probe.arrived_, [](bool arrived) { return arrived; });
  answer.parts = static_cast<size_t>(std::ranges::count(probe.arrived_, true));
  return answer;
}

bool RangeProbe::OnPart(const ByteRange& part) {
  const auto at = std::ranges::find(ranges_, part);
  if (at == ranges_.end()) return false;
  arrived_[static_cast<size_t>(at - ranges_.begin())] = true;
  return true;
}

bool RangeProbe::OnBytes(uint64_t, const char*, size_t) {
  return true;
}

}  // namespace qz

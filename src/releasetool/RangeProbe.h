#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/RangeReceiver.h"
#include "platform/RangeReply.h"

namespace qz {

class UrlServices;

// One range request as resumed and changed-members downloads make it. Only the parts asked
// for are taken, so a server that sends the whole file instead costs a few bytes, not the
// file.
class RangeProbe : private RangeReceiver {
 public:
  struct Answer {
    RangeReply reply;
    // Every range asked for arrived as a part of its own, and nothing else did.
    bool asAsked = false;
    // How many of the ranges asked for arrived as parts of their own.
    size_t parts = 0;
  };

  // Asks `url` for `ranges` (not empty, no suffix ranges), with If-Range `ifRange` unless it
  // is empty.
  static Answer Ask(UrlServices& urls, const std::string& url, const std::vector<ByteRange>& ranges,
                    const std::string& ifRange);

 private:
  explicit RangeProbe(const std::vector<ByteRange>& ranges) : ranges_(ranges) {}

  bool OnPart(const ByteRange& part) override;
  bool OnBytes(uint64_t offset, const char* data, size_t size) override;

  const std::vector<ByteRange>& ranges_;
  std::vector<bool> arrived_ = std::vector<bool>(ranges_.size(), false);
};

}  // namespace qz

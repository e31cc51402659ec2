#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ByteRange.h"

namespace qz {

class PartCollector;
class UrlServices;

// Fetches byte ranges of one file on the server into a PartCollector over several calls,
// through BatchedRangeFetch (several ranges per request, fewer where the server answers
// fewer). Every answer of every call must come from the same version of the file (its
// validator, sent as If-Range) and state the same length.
class PageRangeFetch {
 public:
  static constexpr size_t kRangesPerRequest = 32;

  PageRangeFetch(UrlServices& urls, std::string url);

  // Fetches every range of `ranges` that `parts` does not hold yet. Throws qz::Error with
  // the reason when the server does not deliver them, the file changed, or the collector's
  // observer stopped the transfer (then Cancelled()).
  void Fetch(const std::vector<ByteRange>& ranges, PartCollector& parts);

  // Adopts the validator of an earlier run, so its kept parts stay valid only for the same
  // version of the file.
  void Expect(const std::string& validator) { validator_ = validator; }

  const std::string& Validator() const { return validator_; }
  // The file's length from the first answer; 0 before it.
  uint64_t Length() const { return length_; }
  int Requests() const { return requests_; }
  uint64_t Received() const { return received_; }
  bool Cancelled() const { return cancelled_; }
  bool Changed() const { return changed_; }

 private:
  UrlServices& urls_;
  std::string url_;
  std::string validator_;
  uint64_t length_ = 0;
  size_t perRequest_ = kRangesPerRequest;
  int requests_ = 0;
  uint64_t received_ = 0;
  bool cancelled_ = false;
  bool changed_ = false;
};

}  // namespace qz

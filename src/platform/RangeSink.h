#pragma once

#include "platform/RangeReceiver.h"

namespace qz {

// Takes the parts of a file that BatchedRangeFetch collects over several requests. Each
// part reaches it once, within one requested range; the parts of a reply stand only once
// the reply has been accepted as a whole. Calls run inside the transfer; they may throw
// (BatchedRangeFetch catches, stops the transfer and reports the failure).
class RangeSink : public RangeReceiver {
 public:
  // The parts delivered since the previous call belong to a reply that was `accepted`
  // (keep them) or refused (drop them: they came from another version of the file, or
  // from a reply that did not end as it must).
  virtual void OnReplyEnd(bool accepted) = 0;
};

}  // namespace qz

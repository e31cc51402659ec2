#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/ByteRange.h"
#include "platform/RangeReceiver.h"

namespace qz {

class RangeSink;

// Stands between one range reply and a RangeSink. A part reaches the sink only when it lies
// within one range asked for and none of its bytes arrived before; other parts are
// dropped. The reply is stopped once it offers more part bytes than were asked for plus
// kSlackBytes, or more parts than asked for plus kSlackParts (a server sending parts
// forever), and, once every byte asked for has arrived, at its next part or tick. No
// exception leaves a call: a sink that throws stops the reply and Failure says why.
class RangeReplyFilter : public RangeReceiver {
 public:
  static constexpr uint64_t kSlackBytes = 64 << 10;
  static constexpr size_t kSlackParts = 8;

  // `asked`: the reply's ranges, sorted and disjoint (or one suffix range); `arrived`:
  // parts that arrived before (first byte to last byte), none of which is taken again.
  RangeReplyFilter(const std::vector<ByteRange>& asked, const std::map<uint64_t, uint64_t>& arrived,
                   RangeSink& sink);

  bool OnPart(const ByteRange& part) override;
  bool OnBytes(uint64_t offset, const char* data, size_t size) override;
  bool OnTick() override;

  // The parts that reached the sink whole, first byte to last byte.
  const std::map<uint64_t, uint64_t>& Delivered() const { return delivered_; }
  // Every byte asked for has arrived; a stop after that is the reply's proper end.
  bool Finished() const { return missing_ == 0; }
  // The reply offered more than was asked for plus the slack.
  bool Overrun() const { return overrun_; }
  // The sink stopped the transfer (its observer cancelled).
  bool Cancelled() const { return cancelled_; }
  // What the sink threw, empty when it threw nothing.
  const std::string& Failure() const { return failure_; }

 private:
  bool Wanted(const ByteRange& part) const;
  static bool Overlaps(const std::map<uint64_t, uint64_t>& parts, const ByteRange& part);
  // Runs one call of the sink: false when the sink stopped the transfer (cancelled) or
  // threw (a failure, with its reason); no exception leaves the transfer's callback.
  bool CallSink(const std::function<bool()>& call);
  bool Deliver(const ByteRange& part);
  bool DeliverBytes(uint64_t offset, const char* data, size_t size);
  bool Fail(const std::string& why);

  const std::vector<ByteRange>& asked_;
  const std::map<uint64_t, uint64_t>& arrived_;
  RangeSink& sink_;
  std::map<uint64_t, uint64_t> delivered_;
  uint64_t askedBytes_ = 0;
  uint64_t missing_ = 0;
  uint64_t offered_ = 0;
  size_t partsOffered_ = 0;
  ByteRange current_;
  uint64_t currentLeft_ = 0;
  bool delivering_ = false;
  bool overrun_ = false;
  bool cancelled_ = false;
  std::string failure_;
};

}  // namespace qz

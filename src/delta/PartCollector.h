#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "platform/RangeSink.h"

namespace qz {

class TransferObserver;

// Keeps the parts of range requests by the byte each starts at, so later requests can be
// matched with what they asked for whatever order the parts came in. A reply's parts are
// held apart until the reply is accepted (neighbouring parts are then joined) and dropped
// when it is refused. Refuses a part larger than `maxPart` (a whole file sent for a range)
// before any of it is kept.
class PartCollector : public RangeSink {
 public:
  // `observer` (may be null) sees every byte; `expected` is what it is told to expect.
  explicit PartCollector(TransferObserver* observer);

  void Expect(int64_t expected, uint64_t maxPart);

  bool OnPart(const ByteRange& part) override;
  bool OnBytes(uint64_t offset, const char* data, size_t size) override;
  bool OnTick() override;
  // Keeps the whole parts of an accepted reply, drops the parts of a refused one.
  void OnReplyEnd(bool accepted) override;

  // The bytes `range` covers within one kept part; empty when no part holds all of them.
  std::string_view Slice(const ByteRange& range) const;

  // The kept parts with `validator`, to continue from after an interrupted run.
  std::string Kept(const std::string& validator) const;
  // Takes the parts of `kept` (what Kept gave) when they were kept under `validator`;
  // false, taking nothing, otherwise or when `kept` is damaged.
  bool Restore(const std::string& kept, const std::string& validator);

  uint64_t Received() const { return received_; }
  // True when parts of accepted replies (or restored ones) are held.
  bool HoldsParts() const { return !parts_.empty(); }
  bool Cancelled() const { return cancelled_; }

 private:
  void Join(uint64_t first, std::string bytes);

  TransferObserver* observer_;
  int64_t expected_ = -1;
  uint64_t maxPart_ = 0;
  uint64_t received_ = 0;
  std::map<uint64_t, std::string> parts_;
  // The current reply's parts, each with the length its range gives it.
  std::map<uint64_t, std::pair<std::string, uint64_t>> pending_;
  std::string* current_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace qz

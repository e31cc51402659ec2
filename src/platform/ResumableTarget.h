#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/TransferTarget.h"

namespace qz {

// A download's body kept between attempts: what arrived before stays, with the validator
// (ETag or Last-Modified) of the answer it came from, until the whole file is committed.
// A transfer that ends without Commit keeps everything for the next attempt. Operations
// return 0 or the platform's error number.
class ResumableTarget : public TransferTarget {
 public:
  // Bytes kept from earlier attempts.
  virtual uint64_t Kept() const = 0;
  // The validator kept with them; empty when there is none.
  virtual const std::string& Validator() const = 0;
  // Drops the kept bytes and keeps `validator` for what follows.
  virtual int StartOver(const std::string& validator) = 0;
  // Hands the kept bytes to `piece` in order; stops early (returning 0) when it returns false.
  virtual int ReadBack(const std::function<bool(const char*, size_t)>& piece) = 0;
};

}  // namespace qz

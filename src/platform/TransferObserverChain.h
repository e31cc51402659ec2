#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/TransferObserver.h"

namespace qz {

// Lets several observers watch one download (progress, cancelling, hashing): every piece
// goes to each of them in the order they were added. The first that returns false aborts
// the transfer; the ones after it do not see that piece.
class TransferObserverChain : public TransferObserver {
 public:
  // Adds `observer`, which must outlive the transfer; null adds nothing.
  TransferObserverChain& Add(TransferObserver* observer);

  bool OnData(const char* data, size_t size, uint64_t received, int64_t expected) override;
  bool OnTick() override;

 private:
  std::vector<TransferObserver*> observers_;
};

}  // namespace qz

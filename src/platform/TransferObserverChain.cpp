#include "platform/TransferObserverChain.h"

namespace qz {

TransferObserverChain& TransferObserverChain::Add(TransferObserver* observer) {
  if (observer != nullptr) observers_.push_back(observer);
  return *this;
}

bool TransferObserverChain::OnData(const char* data, size_t size, uint64_t received,
                                   int64_t expected) {
  for (TransferObserver* observer : observers_) {
    if (!observer->OnData(data, size, received, expected)) return false;
  }
  return true;
}

bool TransferObserverChain::OnTick() {
  for (TransferObserver* observer : observers_) {
    if (!observer->OnTick()) return false;
  }
  return true;
}

}  // namespace qz

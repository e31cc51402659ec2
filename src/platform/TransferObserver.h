#pragma once

#include <cstddef>
#include <cstdint>

namespace qz {

// Watches one download as its body arrives: progress, hashing while streaming, cancelling.
// Called on the downloading thread, in the order the bytes arrive. No call may throw:
// they run inside the transfer library.
class TransferObserver {
 public:
  virtual ~TransferObserver() = default;

  // `size` more bytes of the body arrived; `received` counts every byte so far and
  // `expected` is the server's declared length, or -1 when it gave none or compressed the
  // body (the declared length is then not the file's). Returning false
  // aborts the transfer, which then fails with UrlServices::kAborted.
  virtual bool OnData(const char* data, size_t size, uint64_t received, int64_t expected) = 0;

  // Called again and again for as long as the transfer lasts, at least about once a
  // second, also while nothing arrives (resolving, connecting, a stalled server), so a
  // caller can keep its windows alive. Returning false aborts the transfer like OnData.
  virtual bool OnTick() { return true; }
};

}  // namespace qz

#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

#include "platform/DownloadTransfer.h"

namespace qz {

// Carries one download from a worker thread, which blocks in the transport, to the thread
// that waits for it and feeds the DownloadTransfer, so every observer call stays on the
// waiting thread and that thread can tick while the transport blocks. The worker is held
// back while kMaxQueuedBytes wait, so a slow target bounds the memory used. Thread-safe.
class TransferPipe {
 public:
  static constexpr size_t kMaxQueuedBytes = size_t{4} << 20;

  // What the waiting thread takes next.
  struct Item {
    enum class Kind { kNothingYet, kResponse, kBody, kEnd };
    Kind kind = Kind::kNothingYet;
    DownloadTransfer::Response response;  // kResponse
    std::string body;                     // kBody
    int32_t code = 0;                     // kEnd: 0 or the transport's failure code
  };

  // Worker: sets what Cancel runs to interrupt the transport; false (and `interrupt` is
  // not kept) when the pipe was already cancelled.
  bool SetInterrupt(std::function<void()> interrupt);
  // Worker: drops the interrupt; false when Cancel already ran it.
  bool ClearInterrupt();
  // Worker: the final response's headers; waits until the waiting thread accepts them
  // (Accept) and returns false when it cancels instead, so no body is read in vain.
  bool PutResponse(const DownloadTransfer::Response& response);
  // Worker: the next piece of the body, waiting while the queue is full; false when the
  // pipe was cancelled.
  bool PutBody(const char* data, size_t size);
  // Worker: the transport finished with `code` (0 when the whole answer arrived).
  void PutEnd(int32_t code);

  // Waiting thread: the next item, or kNothingYet when none came within `wait`.
  Item Next(std::chrono::milliseconds wait);
  // Waiting thread: the response is wanted, the worker may read its body.
  void Accept();
  // Waiting thread: stops the worker at its next step and runs its interrupt (once).
  void Cancel();

 private:
  void Put(Item item);

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Item> items_;
  size_t queuedBytes_ = 0;
  bool accepted_ = false;
  bool cancelled_ = false;
  std::function<void()> interrupt_;
};

}  // namespace qz

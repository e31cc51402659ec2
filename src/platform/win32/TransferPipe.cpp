#include "platform/win32/TransferPipe.h"

#include <utility>

namespace qz {

bool TransferPipe::SetInterrupt(std::function<void()> interrupt) {
  std::lock_guard lock(mutex_);
  if (cancelled_) return false;
  interrupt_ = std::move(interrupt);
  return true;
}

bool TransferPipe::ClearInterrupt() {
  std::lock_guard lock(mutex_);
  if (!interrupt_) return !cancelled_;
  interrupt_ = nullptr;
  return true;
}

bool TransferPipe::PutResponse(const DownloadTransfer::Response& response) {
  Item item;
  item.kind = Item::Kind::kResponse;
  item.response = response;
  std::unique_lock lock(mutex_);
  Put(std::move(item));
  changed_.wait(lock, [this] { return cancelled_ || accepted_; });
  return !cancelled_;
}

bool TransferPipe::PutBody(const char* data, size_t size) {
  Item item;
  item.kind = Item::Kind::kBody;
  item.body.assign(data, size);
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return cancelled_ || queuedBytes_ < kMaxQueuedBytes; });
  if (cancelled_) return false;
  queuedBytes_ += size;
  Put(std::move(item));
  return true;
}

void TransferPipe::PutEnd(int32_t code) {
  Item item;
  item.kind = Item::Kind::kEnd;
  item.code = code;
  std::lock_guard lock(mutex_);
  Put(std::move(item));
}

void TransferPipe::Put(Item item) {
  items_.push_back(std::move(item));
  changed_.notify_all();
}

TransferPipe::Item TransferPipe::Next(std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, wait, [this] { return !items_.empty(); })) return Item{};
  Item item = std::move(items_.front());
  items_.pop_front();
  queuedBytes_ -= item.body.size();
  changed_.notify_all();
  return item;
}

void TransferPipe::Accept() {
  std::lock_guard lock(mutex_);
  accepted_ = true;
  changed_.notify_all();
}

void TransferPipe::Cancel() {
  std::function<void()> interrupt;
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    interrupt = std::exchange(interrupt_, nullptr);
    changed_.notify_all();
  }
  if (interrupt) interrupt();
}

}  // namespace qz

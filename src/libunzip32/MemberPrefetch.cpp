#include "libunzip32/MemberPrefetch.h"

#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "libunzip32/WholeReader.h"
#include "libunzip32/ZipError.h"

namespace qz::unzip32 {
namespace {

// Sizes (inflated and compressed) of the members read but not yet taken: bounds the memory
// the readers take beyond one member each, whatever the caller does.
constexpr uint64_t kAheadLimit = 16ull << 20;
constexpr unsigned kMostThreads = 4;

}  // namespace

MemberPrefetch::MemberPrefetch(const std::string& path, std::vector<Job> jobs, unsigned threads)
    : jobs_(std::move(jobs)) {
  try {
    for (unsigned i = 0; i < std::max(threads, 1u); ++i) {
      std::lock_guard<std::mutex> lock(mutex_);
      threads_.emplace_back([this, path] { Work(path); });
      ++working_;
    }
  } catch (...) {
    // A thread that could not be started must not leave the others running unjoined.
    Stop();
    throw;
  }
}

MemberPrefetch::~MemberPrefetch() {
  Stop();
}

void MemberPrefetch::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  room_.notify_all();
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

unsigned MemberPrefetch::Threads() {
  const char* wanted = std::getenv("QZ_UNZIP_INFLATERS");
  if (wanted != nullptr && *wanted != '\0') {
    return static_cast<unsigned>(
        std::min<unsigned long>(std::strtoul(wanted, nullptr, 10), kMostThreads));
  }
  unsigned processors = std::thread::hardware_concurrency();
  return std::clamp(processors, 1u, kMostThreads);
}

size_t MemberPrefetch::Position(uint64_t index) const {
  auto found = std::lower_bound(jobs_.begin(), jobs_.end(), index,
                                [](const Job& job, uint64_t i) { return job.member.index < i; });
  return static_cast<size_t>(found - jobs_.begin());
}

bool MemberPrefetch::Has(uint64_t index) const {
  const size_t position = Position(index);
  return position < jobs_.size() && jobs_[position].member.index == index;
}

std::string_view MemberPrefetch::Take(uint64_t index) {
  const size_t position = Position(index);
  std::exception_ptr failure;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    for (size_t passed = taken_; passed < position; ++passed) Drop(passed);
    taken_ = position;
    next_ = std::max(next_, position);
    room_.notify_all();
    ready_.wait(lock, [&] {
      auto result = ahead_.find(position);
      return (result != ahead_.end() && result->second.done) || working_ == 0;
    });
    auto result = ahead_.find(position);
    // Every reader ended early: only memory running out does that.
    if (result == ahead_.end() || !result->second.done) {
      throw ZipError(ZIP_ER_MEMORY, "Malloc failure");
    }
    current_ = std::move(result->second.data);
    failure = result->second.failure;
    Drop(position);
    taken_ = position + 1;
  }
  room_.notify_all();
  if (failure) std::rethrow_exception(failure);
  return {current_.data(), current_.size()};
}

void MemberPrefetch::Drop(size_t position) {
  auto result = ahead_.find(position);
  // One still being read is dropped by its reader when it is done.
  if (result == ahead_.end() || !result->second.done) return;
  aheadCost_ -= Cost(jobs_[position]);
  ahead_.erase(result);
}

bool MemberPrefetch::Claim(size_t& position) {
  std::unique_lock<std::mutex> lock(mutex_);
  room_.wait(lock, [&] {
    return stopping_ || next_ >= jobs_.size() || aheadCost_ == 0 ||
           aheadCost_ + Cost(jobs_[next_]) <= kAheadLimit;
  });
  if (stopping_ || next_ >= jobs_.size()) return false;
  ahead_.try_emplace(next_);
  position = next_++;
  aheadCost_ += Cost(jobs_[position]);
  return true;
}

void MemberPrefetch::Work(const std::string& path) {
  try {
    WholeReader reader(path);
    size_t position = 0;
    while (Claim(position)) Read(reader, position);
  } catch (...) {
    // Only claiming can throw here (memory); the claimed jobs are all done.
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    --working_;
  }
  ready_.notify_all();
}

void MemberPrefetch::Read(WholeReader& reader, size_t position) {
  Result result;
  result.done = true;
  try {
    std::string_view data = reader.Read(jobs_[position].member, jobs_[position].offset);
    result.data.assign(data.begin(), data.end());
  } catch (...) {
    result.failure = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ahead_[position] = std::move(result);
    if (position < taken_) Drop(position);
  }
  ready_.notify_all();
  room_.notify_all();
}

}  // namespace qz::unzip32

#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "libunzip32/ZipArchive.h"

namespace qz::unzip32 {

class WholeReader;

// Reads and inflates members that WholeReader suits on threads of its own, a bounded
// amount ahead of the calling thread, which takes each member's checked data in member
// order. Only data and failures cross threads: every callback, message and file stays with
// the caller, so a run reports exactly what it would on one thread.
class MemberPrefetch {
 public:
  struct Job {
    ZipArchive::Member member;
    uint64_t offset = 0;  // where its local header starts
  };

  // Starts `threads` (at least 1) readers of the archive at the UTF-8 `path` for `jobs`,
  // which are in ascending member order.
  MemberPrefetch(const std::string& path, std::vector<Job> jobs, unsigned threads);
  // Stops the readers, abandoning what is not taken.
  ~MemberPrefetch();
  MemberPrefetch(const MemberPrefetch&) = delete;
  MemberPrefetch& operator=(const MemberPrefetch&) = delete;

  // How many readers a run uses: one per processor, at most four;
  // QZ_UNZIP_INFLATERS overrides it (0: the whole run on the calling thread).
  static unsigned Threads();

  // True when the member of `index` is among the jobs.
  bool Has(uint64_t index) const;
  // The checked data of the member of `index`, which Has, valid until the next Take;
  // throws what reading it threw. Members are taken in ascending order; those passed
  // over are dropped.
  std::string_view Take(uint64_t index);

 private:
  struct Result {
    bool done = false;
    std::vector<char> data;
    std::exception_ptr failure;
  };

  void Stop();
  // Where the member of `index` is, or would be, among the jobs.
  size_t Position(uint64_t index) const;
  void Work(const std::string& path);
  void Read(WholeReader& reader, size_t position);
  // Waits for room and claims the next job; false when there is no more work.
  bool Claim(size_t& position);
  void Drop(size_t position);
  static uint64_t Cost(const Job& job) { return job.member.size + job.member.compressedSize; }

  const std::vector<Job> jobs_;
  std::mutex mutex_;
  std::condition_variable ready_;   // a result arrived
  std::condition_variable room_;    // results were taken, or the run is stopping
  std::map<size_t, Result> ahead_;  // claimed and not yet taken, by position in jobs_
  size_t next_ = 0;                 // the next job to claim
  size_t taken_ = 0;                // the first job not yet taken or dropped
  uint64_t aheadCost_ = 0;
  bool stopping_ = false;
  unsigned working_ = 0;  // readers still running
  std::vector<char> current_;
  std::vector<std::thread> threads_;
};

}  // namespace qz::unzip32

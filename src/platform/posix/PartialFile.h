#pragma once

#include <sys/types.h>

#include <string>

#include "platform/ResumableTarget.h"
#include "platform/posix/EarlyWriteback.h"

namespace qz {

// A download's body kept at `partial` across attempts, with its validator in `partial` +
// ".validator"; Commit renames it over `target` (same file system) and leaves the
// validator, so a caller that puts the whole file back at `partial` keeps a part that the
// next attempt confirms instead of fetching it again. Without Commit both stay, flushed,
// for the next attempt, unless the part is empty: then neither stays.
class PartialFile : public ResumableTarget {
 public:
  PartialFile(std::string partial, std::string target);
  ~PartialFile() override;
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  // Opens or creates the partial file and reads what was kept (ENOENT: folder missing).
  int Open();

  uint64_t Kept() const override { return static_cast<uint64_t>(kept_); }
  const std::string& Validator() const override { return validator_; }
  int StartOver(const std::string& validator) override;
  int ReadBack(const std::function<bool(const char*, size_t)>& piece) override;
  int Write(const char* data, size_t size) override;
  int Commit() override;

 private:
  std::string ValidatorPath() const { return partial_ + ".validator"; }

  std::string partial_;
  std::string target_;
  std::string validator_;
  int fd_ = -1;
  off_t kept_ = 0;
  EarlyWriteback writeback_;
};

}  // namespace qz

#include "RequestLog.h"

namespace qz::demo {

void RequestLog::Write(const std::string& method, const std::string& path, int status,
                       uint64_t bytes, const std::string& range) {
  std::lock_guard lock(mutex_);
  out_ << method << ' ' << path << ' ' << status << ' ' << bytes;
  if (!range.empty()) out_ << ' ' << range;
  out_ << std::endl;
}

void RequestLog::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  out_ << text << std::endl;
}

}  // namespace qz::demo

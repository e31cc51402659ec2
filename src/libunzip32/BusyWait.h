#pragma once

#include <cstdint>
#include <functional>

namespace qz::unzip32 {

// On Windows a virus scanner or the search indexer opens a new file for a moment, and a
// rename over it, or the check whether another program holds it, then fails. Such a
// failure is tried again after short pauses for a bounded time.
class BusyWait {
 public:
  // How long to keep trying: 10 s on Windows, nothing elsewhere (no scanner there holds
  // files against renames); QZ_UNZIP_BUSY_MS sets it in milliseconds.
  static int64_t LimitMilliseconds();

  // Calls `attempt` until it returns true or the limit has passed, pausing 100 ms and then
  // running `between` (when set) before each further attempt. True when an attempt
  // succeeded.
  static bool Retry(const std::function<bool()>& attempt,
                    const std::function<void()>& between = nullptr);
};

}  // namespace qz::unzip32

#include "libunzip32/BusyWait.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace qz::unzip32 {
namespace {

constexpr std::chrono::milliseconds kPause(100);
#ifdef _WIN32
constexpr int64_t kDefaultLimit = 10'000;
#else
constexpr int64_t kDefaultLimit = 0;
#endif

}  // namespace

int64_t BusyWait::LimitMilliseconds() {
  const char* wanted = std::getenv("QZ_UNZIP_BUSY_MS");
  if (wanted == nullptr || *wanted == '\0') return kDefaultLimit;
  return std::strtoll(wanted, nullptr, 10);
}

bool BusyWait::Retry(const std::function<bool()>& attempt, const std::function<void()>& between) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(LimitMilliseconds());
  while (!attempt()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPause);
    if (between) between();
  }
  return true;
}

}  // namespace qz::unzip32

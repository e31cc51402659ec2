#include "signing/UtcTimestamp.h"

#include <chrono>
#include <cstdio>

namespace qz {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// The digits at `pos`, which the caller has checked.
int Number(const std::string& text, size_t pos, size_t digits) {
  int value = 0;
  for (size_t i = pos; i < pos + digits; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

}  // namespace

std::optional<int64_t> UtcTimestamp::Parse(const std::string& text) {
  static const std::string kShape = "0000-00-00T00:00:00Z";
  if (text.size() != kShape.size()) return std::nullopt;
  for (size_t i = 0; i < kShape.size(); ++i) {
    if ((kShape[i] == '0') != (text[i] >= '0' && text[i] <= '9')) return std::nullopt;
    if (kShape[i] != '0' && text[i] != kShape[i]) return std::nullopt;
  }
  const int year = Number(text, 0, 4);
  const unsigned month = Number(text, 5, 2);
  const unsigned day = Number(text, 8, 2);
  const int hour = Number(text, 11, 2);
  const int minute = Number(text, 14, 2);
  const int second = Number(text, 17, 2);
  using namespace std::chrono;
  const year_month_day date{std::chrono::year(year), std::chrono::month(month),
                            std::chrono::day(day)};
  if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
  const int64_t days = sys_days(date).time_since_epoch().count();
  return days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
}

std::string UtcTimestamp::Format(int64_t seconds) {
  using namespace std::chrono;
  int64_t days = seconds / kSecondsPerDay;
  int64_t rest = seconds % kSecondsPerDay;
  if (rest < 0) {
    rest += kSecondsPerDay;
    --days;
  }
  const year_month_day date{sys_days(std::chrono::days(days))};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
                static_cast<int>(rest % 60));
  return text;
}

int64_t UtcTimestamp::Now() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

}  // namespace qz

#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace qz {

// Points in time as seconds since 1970-01-01 UTC, written as "YYYY-MM-DDTHH:MM:SSZ".
class UtcTimestamp {
 public:
  // Seconds of a text in exactly that form; nothing for any other text or a date that
  // does not exist.
  static std::optional<int64_t> Parse(const std::string& text);

  static std::string Format(int64_t seconds);

  // The system's current time.
  static int64_t Now();
};

}  // namespace qz

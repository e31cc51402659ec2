#include "log/UpdateLog.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <utility>

#include "platform/Clock.h"
#include "platform/FileSystem.h"

namespace qz {
namespace {

// Held lines of a run that never learns its folder are dropped beyond this.
constexpr size_t kHeldLimit = 64 * 1024;

std::string RunTag() {
  try {
    std::random_device seed;
    char text[8];
    snprintf(text, sizeof text, "%04x", static_cast<unsigned>(seed() & 0xffff));
    return text;
  } catch (...) {
    return "0000";
  }
}

// A message's lines joined by " / "; its empty lines (paragraph breaks) add nothing.
std::string OneLine(const std::string& text) {
  std::string line;
  bool broken = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      broken = true;
      continue;
    }
    if (broken && !line.empty()) line += " / ";
    broken = false;
    line += c;
  }
  return line;
}

// `url` without a user name or password before its host: the log goes to the vendor.
std::string WithoutUserInfo(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos) return url;
  const size_t host = scheme + 3;
  const size_t end = std::min(url.find_first_of("/?#", host), url.size());
  const size_t at = url.rfind('@', end == 0 ? 0 : end - 1);
  if (at == std::string::npos || at < host) return url;
  return url.substr(0, host) + url.substr(at + 1);
}

}  // namespace

UpdateLog::UpdateLog(FileSystem& files, Clock& clock)
    : files_(files), clock_(clock), tag_(RunTag()) {}

void UpdateLog::Open(const std::string& applicationPath) noexcept {
  if (applicationPath.empty()) return;
  try {
    folder_ = applicationPath + "/QzUFiles/Log";
    path_ = folder_ + "/QzUpdate.log";
    folderMade_ = false;
    Write(std::exchange(held_, std::string()));
  } catch (...) {
    // The log is never worth a failure.
  }
}

void UpdateLog::Event(const std::string& text) noexcept {
  try {
    const std::string line = clock_.LocalTimeText() + " [" + tag_ + "] " + OneLine(text) + "\r\n";
    if (path_.empty()) {
      if (held_.size() + line.size() <= kHeldLimit) held_ += line;
      return;
    }
    Write(line);
  } catch (...) {
    // The log is never worth a failure.
  }
}

void UpdateLog::Download(const std::string& url, int32_t result, uint64_t bytes,
                         int64_t milliseconds) noexcept {
  try {
    char seconds[32];
    snprintf(seconds, sizeof seconds, "%.3f", static_cast<double>(milliseconds) / 1000.0);
    Event("download " + WithoutUserInfo(url) + ": result " + std::to_string(result) + ", " +
          std::to_string(bytes) + " bytes in " + seconds + " s");
  } catch (...) {
    // The log is never worth a failure.
  }
}

std::string UpdateLog::Number(double version) {
  char text[40];
  snprintf(text, sizeof text, "%.15g", version);
  return text;
}

void UpdateLog::Write(const std::string& lines) {
  if (lines.empty()) return;
  if (!folderMade_) {
    // The staging folder's clean-ups delete only the files directly in it.
    try {
      files_.CreateFolder(folder_.substr(0, folder_.rfind('/')));
      files_.CreateFolder(folder_);
      folderMade_ = true;
    } catch (...) {
      // The append below then fails as well, or finds the folder made by another run.
    }
  }
  try {
    // Under the log's own lock: two runs that find it full at once must not both rename,
    // the second one the first one's new log over the older megabyte.
    files_.RollOver(path_, folder_ + "/QzUpdate.1.log", kRollOverBytes);
  } catch (...) {
    // The old log is held or cannot be renamed: append all the same.
  }
  files_.AppendToFile(path_, lines);
}

}  // namespace qz

#include "log/UpdateLog.h"

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

std::string OneLine(const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      line += " / ";
    } else {
      line += text[i];
    }
  }
  return line;
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
    Event("download " + url + ": result " + std::to_string(result) + ", " + std::to_string(bytes) +
          " bytes in " + seconds + " s");
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
    if (files_.FileExists(path_) && files_.FileSize(path_) >= kRollOverBytes) {
      files_.ReplaceFile(path_, folder_ + "/QzUpdate.1.log");
    }
  } catch (...) {
    // Another run rolled it over first, or the old log is held: append all the same.
  }
  files_.AppendToFile(path_, lines);
}

}  // namespace qz

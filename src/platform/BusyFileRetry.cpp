#include "platform/BusyFileRetry.h"

#include <algorithm>
#include <utility>

#include "platform/Clock.h"
#include "platform/Error.h"

namespace qz {

BusyFileRetry::BusyFileRetry(FileSystem& files, Clock& clock, std::function<void()> between,
                             Limit limit)
    : files_(files), clock_(clock), between_(std::move(between)), limit_(limit) {}

void BusyFileRetry::Patiently(const std::function<void()>& change) {
  const int64_t start = clock_.NowMilliseconds();
  // Counted as well, so that a clock set back cannot prolong the wait.
  const int64_t maxRetries = limit_.totalMilliseconds / std::max(limit_.pauseMilliseconds, 1);
  for (int64_t retry = 0;; ++retry) {
    try {
      change();
      return;
    } catch (const Error& error) {
      const int64_t elapsed = clock_.NowMilliseconds() - start;
      if (error.Number() != Error::kPermissionDenied || retry >= maxRetries ||
          elapsed >= limit_.totalMilliseconds) {
        throw;
      }
    }
    clock_.SleepMilliseconds(limit_.pauseMilliseconds);
    ++retries_;
    if (between_) between_();
  }
}

bool BusyFileRetry::FileExists(const std::string& path) {
  return files_.FileExists(path);
}

void BusyFileRetry::CreateFolder(const std::string& path) {
  files_.CreateFolder(path);
}

void BusyFileRetry::CopyFile(const std::string& from, const std::string& to) {
  Patiently([&] { files_.CopyFile(from, to); });
}

void BusyFileRetry::CopyFileChecked(
    const std::string& from, const std::string& to,
    const std::function<void(const char* data, size_t size)>& inspect,
    const std::function<void()>& approve) {
  // Not tried again: `inspect` has seen the bytes of the failed attempt, and a second
  // reading would be checked as if it followed them.
  files_.CopyFileChecked(from, to, inspect, approve);
}

std::string BusyFileRetry::CopyToPrivateFile(
    const std::string& from, const std::function<void(const char* data, size_t size)>& inspect) {
  return files_.CopyToPrivateFile(from, inspect);
}

void BusyFileRetry::RenameFile(const std::string& from, const std::string& to) {
  Patiently([&] { files_.RenameFile(from, to); });
}

void BusyFileRetry::ReplaceFile(const std::string& from, const std::string& to) {
  Patiently([&] { files_.ReplaceFile(from, to); });
}

void BusyFileRetry::DeleteFile(const std::string& path) {
  Patiently([&] { files_.DeleteFile(path); });
}

void BusyFileRetry::DeleteFilesIn(const std::string& folder) {
  Patiently([&] { files_.DeleteFilesIn(folder); });
}

std::vector<std::string> BusyFileRetry::FileNamesIn(const std::string& folder) {
  return files_.FileNamesIn(folder);
}

std::string BusyFileRetry::ReadTextFile(const std::string& path, size_t maxBytes) {
  return files_.ReadTextFile(path, maxBytes);
}

void BusyFileRetry::ReadInPieces(const std::string& path,
                                 const std::function<void(const char*, size_t)>& consume) {
  files_.ReadInPieces(path, consume);
}

void BusyFileRetry::WriteTextFile(const std::string& path, const std::string& text) {
  Patiently([&] { files_.WriteTextFile(path, text); });
}

// The run log is never worth a wait: its writer drops a line it cannot add.
void BusyFileRetry::AppendToFile(const std::string& path, const std::string& text) {
  files_.AppendToFile(path, text);
}

// Another run rolling the log over is no reason to wait: its line goes to the new log.
bool BusyFileRetry::RollOver(const std::string& path, const std::string& older, uint64_t limit) {
  return files_.RollOver(path, older, limit);
}

uint64_t BusyFileRetry::FileSize(const std::string& path) {
  return files_.FileSize(path);
}

int64_t BusyFileRetry::SecondsSinceChanged(const std::string& path) {
  return files_.SecondsSinceChanged(path);
}

uint64_t BusyFileRetry::FreeSpace(const std::string& folder) {
  return files_.FreeSpace(folder);
}

std::string BusyFileRetry::ExecutableFolder() {
  return files_.ExecutableFolder();
}

}  // namespace qz

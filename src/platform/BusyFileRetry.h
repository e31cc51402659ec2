#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/FileSystem.h"

namespace qz {

class Clock;

// File services that wait out a file held for a moment by another program: a virus
// scanner or a search indexer opens a new file briefly, and a change to it then fails
// with 70 (held, or access denied). Such a change is tried again after short pauses for
// a bounded time, then fails as its last attempt did. Other failures and every reading
// operation pass straight through.
class BusyFileRetry : public FileSystem {
 public:
  struct Limit {
    // No new attempt starts once this much time has passed since the first.
    int64_t totalMilliseconds = 10'000;
    int pauseMilliseconds = 100;
  };

  // Changes go to `files`; `clock` times the pauses; `between` runs after each pause (the
  // caller keeps its windows alive there) and must not throw.
  BusyFileRetry(FileSystem& files, Clock& clock, std::function<void()> between, Limit limit);

  // Attempts repeated so far, over all operations.
  int Retries() const { return retries_; }

  // Runs `change`, and runs it again after each pause while it fails with 70, within the
  // limit; then throws as its last attempt did. Each attempt must start afresh (a check
  // of the bytes it copies included).
  void Patiently(const std::function<void()>& change);

  bool FileExists(const std::string& path) override;
  void CreateFolder(const std::string& path) override;
  void CopyFile(const std::string& from, const std::string& to) override;
  void CopyFileChecked(const std::string& from, const std::string& to,
                       const std::function<void(const char* data, size_t size)>& inspect,
                       const std::function<void()>& approve) override;
  std::string CopyToPrivateFile(
      const std::string& from,
      const std::function<void(const char* data, size_t size)>& inspect) override;
  void RenameFile(const std::string& from, const std::string& to) override;
  void ReplaceFile(const std::string& from, const std::string& to) override;
  void DeleteFile(const std::string& path) override;
  void DeleteFilesIn(const std::string& folder) override;
  std::vector<std::string> FileNamesIn(const std::string& folder) override;
  std::string ReadTextFile(const std::string& path, size_t maxBytes) override;
  void ReadInPieces(const std::string& path,
                    const std::function<void(const char* data, size_t size)>& consume) override;
  void WriteTextFile(const std::string& path, const std::string& text) override;
  void AppendToFile(const std::string& path, const std::string& text) override;
  bool RollOver(const std::string& path, const std::string& older, uint64_t limit) override;
  uint64_t FileSize(const std::string& path) override;
  int64_t SecondsSinceChanged(const std::string& path) override;
  uint64_t FreeSpace(const std::string& folder) override;
  std::string ExecutableFolder() override;

 private:
  FileSystem& files_;
  Clock& clock_;
  std::function<void()> between_;
  Limit limit_;
  int retries_ = 0;
};

}  // namespace qz

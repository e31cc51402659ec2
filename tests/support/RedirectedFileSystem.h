#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/FileSystem.h"

namespace qz::test {

// The real file system, except that the executable's folder is a test folder, so the
// updater finds the Version.INF and extraction library that the test put there.
class RedirectedFileSystem : public FileSystem {
 public:
  RedirectedFileSystem(FileSystem& real, std::string executableFolder)
      : real_(real), folder_(std::move(executableFolder)) {}

  bool FileExists(const std::string& path) override { return real_.FileExists(path); }
  void CreateFolder(const std::string& path) override { real_.CreateFolder(path); }
  void CopyFile(const std::string& from, const std::string& to) override {
    real_.CopyFile(from, to);
  }
  void CopyFileChecked(const std::string& from, const std::string& to,
                       const std::function<void(const char*, size_t)>& inspect,
                       const std::function<void()>& approve) override {
    if (beforeRead) beforeRead(from);
    real_.CopyFileChecked(from, to, inspect, approve);
  }
  std::string CopyToPrivateFile(const std::string& from,
                                const std::function<void(const char*, size_t)>& inspect) override {
    if (beforeRead) beforeRead(from);
    return real_.CopyToPrivateFile(from, inspect);
  }
  void RenameFile(const std::string& from, const std::string& to) override {
    if (beforeRename) beforeRename(from, to);
    real_.RenameFile(from, to);
  }
  void ReplaceFile(const std::string& from, const std::string& to) override {
    real_.ReplaceFile(from, to);
  }
  void DeleteFile(const std::string& path) override { real_.DeleteFile(path); }
  void DeleteFilesIn(const std::string& folder) override { real_.DeleteFilesIn(folder); }
  std::vector<std::string> FileNamesIn(const std::string& folder) override {
    return real_.FileNamesIn(folder);
  }
  std::string ReadTextFile(const std::string& path, size_t maxBytes) override {
    if (beforeRead) beforeRead(path);
    return real_.ReadTextFile(path, maxBytes);
  }
  void ReadInPieces(const std::string& path,
                    const std::function<void(const char*, size_t)>& consume) override {
    if (beforeRead) beforeRead(path);
    real_.ReadInPieces(path, consume);
  }
  void WriteTextFile(const std::string& path, const std::string& text) override {
    real_.WriteTextFile(path, text);
  }
  void AppendToFile(const std::string& path, const std::string& text) override {
    real_.AppendToFile(path, text);
  }
  bool RollOver(const std::string& path, const std::string& older, uint64_t limit) override {
    return real_.RollOver(path, older, limit);
  }
  uint64_t FileSize(const std::string& path) override { return real_.FileSize(path); }
  int64_t SecondsSinceChanged(const std::string& path) override {
    return ageSeconds ? *ageSeconds : real_.SecondsSinceChanged(path);
  }
  uint64_t FreeSpace(const std::string& folder) override {
    return freeSpace ? *freeSpace : real_.FreeSpace(folder);
  }
  std::string ExecutableFolder() override { return folder_; }

  // When set, the free space that every disk reports.
  std::optional<uint64_t> freeSpace;

  // When set, the age that every file reports.
  std::optional<int64_t> ageSeconds;

  // Runs before each read; a test can throw here to make the read fail.
  std::function<void(const std::string& path)> beforeRead;

  // Runs before each rename; a test can throw here to make the rename fail.
  std::function<void(const std::string& from, const std::string& to)> beforeRename;

 private:
  FileSystem& real_;
  std::string folder_;
};

}  // namespace qz::test

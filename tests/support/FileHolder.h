#pragma once

#include <memory>
#include <string>

namespace qz::test {

// Holds a file from another process, as a running program holds its files and the host
// application its lock file: on Windows open without delete or write sharing, elsewhere
// under an exclusive flock. The file is made when missing.
class FileHolder {
 public:
  // Returns once the other process holds the file, or has failed to.
  explicit FileHolder(const std::string& path);
  ~FileHolder();
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;

  // False when the other process could not take hold of the file.
  bool Holding() const;
  // Lets the file go and waits until the other process has ended.
  void Release();

 private:
  struct Process;
  std::unique_ptr<Process> process_;
};

}  // namespace qz::test

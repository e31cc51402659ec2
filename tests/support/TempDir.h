#pragma once

#include <filesystem>
#include <string>

namespace qz::test {

// A fresh folder for one test, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Path() + "/" + relative.
  std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

  // Writes `bytes` to Path()/relative, making parent folders.
  void Write(const std::string& relative, const std::string& bytes) const;
  // The bytes of Path()/relative, or "<missing>" when there is no such file.
  std::string Read(const std::string& relative) const;
  bool Exists(const std::string& relative) const;
  // Makes Path()/relative read-only: mode 0444, on Windows the read-only attribute.
  void MakeReadOnly(const std::string& relative) const;
  // Names of the ordinary files directly in Path()/relative, sorted.
  std::string FilesIn(const std::string& relative = "") const;

 private:
  std::string path_;
};

}  // namespace qz::test

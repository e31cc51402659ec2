#include "support/TempDir.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace fs = std::filesystem;

namespace qz::test {

TempDir::TempDir() {
  // create_directory reports whether it made the folder, so a name taken by a test
  // running at the same time is never shared.
  std::random_device seed;
  std::mt19937 random(seed());
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("qztest-" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      fs::permissions(candidate, fs::perms::owner_all);
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("no fresh temporary folder");
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests make files read-only; give the owner rights back so everything can go.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

void TempDir::Write(const std::string& relative, const std::string& bytes) const {
  fs::path target = fs::path(path_) / relative;
  fs::create_directories(target.parent_path());
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string TempDir::Read(const std::string& relative) const {
  std::ifstream in(fs::path(path_) / relative, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

bool TempDir::Exists(const std::string& relative) const {
  return fs::exists(fs::path(path_) / relative);
}

void TempDir::MakeReadOnly(const std::string& relative) const {
  fs::permissions(fs::path(path_) / relative,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

std::string TempDir::FilesIn(const std::string& relative) const {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(fs::path(path_) / relative, ignored)) {
    if (entry.is_regular_file()) names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const auto& name : names) joined += (joined.empty() ? "" : " ") + name;
  return joined;
}

}  // namespace qz::test

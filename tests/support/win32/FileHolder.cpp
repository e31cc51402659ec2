#include "support/FileHolder.h"

#include "support/win32/HolderProcess.h"

namespace qz::test {

struct FileHolder::Process {
  HolderProcess holder;
};

FileHolder::FileHolder(const std::string& path) : process_(new Process{{"file", path}}) {}

FileHolder::~FileHolder() = default;

bool FileHolder::Holding() const {
  return process_->holder.Reported() == "holding";
}

void FileHolder::Release() {
  process_->holder.Release();
}

}  // namespace qz::test

#include "dialogs/InstallSpace.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

#include "platform/FileSystem.h"

namespace qz {
namespace {

constexpr char kExecutable[] = "vq.exe";

std::string FlatFoldedName(const std::string& storedName) {
  const size_t separator = storedName.find_last_of("/\\");
  std::string name = separator == std::string::npos ? storedName : storedName.substr(separator + 1);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

}  // namespace

InstallSpace::InstallSpace(FileSystem& files, std::string applicationPath)
    : files_(files), applicationPath_(std::move(applicationPath)) {}

void InstallSpace::AddMember(const std::string& storedName, uint64_t size) {
  const std::string name = FlatFoldedName(storedName);
  if (!name.empty()) members_[name] = size;
}

uint64_t InstallSpace::ExistingSize(const std::string& relative) {
  const std::string path = applicationPath_ + relative;
  return files_.FileExists(path) ? files_.FileSize(path) : 0;
}

void InstallSpace::Write(uint64_t size, const std::string& relative) {
  const uint64_t replaced = ExistingSize(relative);
  growth_ += size > replaced ? size - replaced : 0;
  largestInFlight_ = std::max(largestInFlight_, std::min(size, replaced));
}

void InstallSpace::Swap(uint64_t size, const std::string& relative) {
  const uint64_t replaced = ExistingSize(relative);
  swapped_ += size;
  swapGrowth_ += size > replaced ? size - replaced : 0;
}

uint64_t InstallSpace::Needed() {
  growth_ = 0;
  largestInFlight_ = 0;
  swapped_ = 0;
  swapGrowth_ = 0;
  const std::vector<std::string> databases = {"Data.Mdb", "VqData.Mdf"};
  std::map<std::string, uint64_t> staged;
  for (const std::string& name : databases) {
    const std::string path = applicationPath_ + "/QzUFiles/" + name;
    if (files_.FileExists(path)) staged[name] = files_.FileSize(path);
  }
  const uint64_t oldExecutable = ExistingSize("/Vq.exe");
  Write(oldExecutable, "/QzUFiles/Before/Vq.Exe");
  for (const auto& [name, size] : staged)
    Write(ExistingSize("/" + name), "/QzUFiles/Before/" + name);
  const uint64_t backups = growth_;

  for (const auto& [name, size] : members_) Swap(size, "/" + name);
  for (const auto& [name, size] : staged) Swap(size, "/" + name);

  growth_ = 0;
  const auto newExecutable = members_.find(kExecutable);
  Write(newExecutable != members_.end() ? newExecutable->second : oldExecutable,
        "/QzUFiles/After/Vq.Exe");
  for (const auto& [name, size] : staged) Write(size, "/QzUFiles/After/" + name);
  return backups + std::max(swapped_, swapGrowth_ + growth_) + largestInFlight_;
}

}  // namespace qz

#include "dialogs/InstallSpace.h"

#include <algorithm>
#include <cctype>
#include <utility>

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

uint64_t InstallSpace::Needed() {
  growth_ = 0;
  largestInFlight_ = 0;
  // The library renames the members it wrote in batches, so every replaced file of the
  // archive may still take its room while its new version waits beside it.
  uint64_t extractionInFlight = 0;
  for (const auto& [name, size] : members_) {
    const uint64_t replaced = ExistingSize("/" + name);
    growth_ += size > replaced ? size - replaced : 0;
    extractionInFlight += std::min(size, replaced);
  }
  largestInFlight_ = extractionInFlight;
  const uint64_t oldExecutable = ExistingSize("/Vq.exe");
  const auto newExecutable = members_.find(kExecutable);
  Write(oldExecutable, "/QzUFiles/Before/Vq.Exe");
  Write(newExecutable != members_.end() ? newExecutable->second : oldExecutable,
        "/QzUFiles/After/Vq.Exe");
  for (const std::string name : {"Data.Mdb", "VqData.Mdf"}) {
    if (!files_.FileExists(applicationPath_ + "/QzUFiles/" + name)) continue;
    const uint64_t staged = files_.FileSize(applicationPath_ + "/QzUFiles/" + name);
    Write(ExistingSize("/" + name), "/QzUFiles/Before/" + name);
    Write(staged, "/" + name);
    Write(staged, "/QzUFiles/After/" + name);
  }
  return growth_ + largestInFlight_;
}

}  // namespace qz

#include "libunzip32/TargetFolder.h"

#include <system_error>

#include "libunzip32/MemberFile.h"
#include "libunzip32/SystemError.h"

namespace qz::unzip32 {
namespace {

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

}  // namespace

TargetFolder::TargetFolder(const std::string& path, bool planOnly)
    : planOnly_(planOnly), root_(NativeFolder::Open(path, !planOnly)), current_(root_.get()) {}

TargetFolder::~TargetFolder() = default;

std::string TargetFolder::KeyOf(const std::vector<std::string>& folders) {
  std::string key;
  for (const auto& folder : folders) key += Folded(folder) + "/";
  return key;
}

bool TargetFolder::IsCurrent(const std::vector<std::string>& folders) const {
  return KeyOf(folders) == currentKey_;
}

void TargetFolder::Enter(const std::vector<std::string>& folders) {
  std::string key = KeyOf(folders);
  if (key == currentKey_) return;
  if (auto found = open_.find(key); found != open_.end()) {
    current_ = found->second.get();
    currentKey_ = key;
    return;
  }
  current_ = root_.get();
  currentKey_.clear();
  NativeFolder* folder = root_.get();
  std::unique_ptr<NativeFolder> owned;
  std::string partKey;
  for (const auto& part : folders) {
    owned = OpenPart(folder, partKey, part);
    folder = owned.get();
    partKey += Folded(part) + "/";
  }
  if (owned) open_[key] = std::move(owned);
  current_ = folder;
  currentKey_ = key;
}

void TargetFolder::CloseOthers() {
  for (auto folder = open_.begin(); folder != open_.end();) {
    folder = folder->first == currentKey_ ? std::next(folder) : open_.erase(folder);
  }
}

std::unique_ptr<NativeFolder> TargetFolder::OpenPart(NativeFolder* parent, const std::string& key,
                                                     const std::string& part) {
  Listing& listing = ListingOf(parent, key);
  std::string folded = Folded(part);
  if (listing.madeFiles.count(folded)) throw SystemError(part + " exists and is not a folder");
  if (auto found = listing.folded.find(folded); found != listing.folded.end()) {
    if (parent == nullptr || (planOnly_ && listing.madeFolders.count(folded))) return nullptr;
    return parent->Child(listing.exact.count(part) ? part : found->second);
  }
  bool real = parent != nullptr && !planOnly_;
  if (real) {
    parent->MakeChild(part);
    changed_ = true;
  }
  listing.exact.insert(part);
  listing.folded.emplace(folded, part);
  listing.madeFolders.insert(folded);
  return real ? parent->Child(part) : nullptr;
}

TargetFolder::Listing& TargetFolder::ListingOf(const NativeFolder* folder, const std::string& key) {
  if (auto cached = listings_.find(key); cached != listings_.end()) return cached->second;
  Listing listing;
  if (folder != nullptr) {
    for (auto& name : folder->Names()) {
      listing.folded.emplace(Folded(name), name);
      listing.exact.insert(std::move(name));
    }
  }
  return listings_.emplace(key, std::move(listing)).first->second;
}

std::optional<std::string> TargetFolder::ExistingName(const std::string& name) {
  Listing& listing = ListingOf(current_, currentKey_);
  if (listing.exact.count(name)) return name;
  if (auto found = listing.folded.find(Folded(name)); found != listing.folded.end()) {
    return found->second;
  }
  return std::nullopt;
}

std::optional<NativeFolder::Entry> TargetFolder::Inspect(const std::string& name) const {
  return current_ != nullptr ? current_->Inspect(name) : std::nullopt;
}

bool TargetFolder::IsFolder(const std::string& name) {
  Listing& listing = ListingOf(current_, currentKey_);
  std::string folded = Folded(name);
  if (listing.madeFolders.count(folded)) return true;
  if (listing.madeFiles.count(folded)) return false;
  std::optional<NativeFolder::Entry> entry = Inspect(name);
  return entry && entry->folder;
}

bool TargetFolder::IsHeldOpen(const std::string& name) const {
  return current_ != nullptr && current_->IsHeldOpen(name);
}

void TargetFolder::Added(const std::string& name) {
  Listing& listing = ListingOf(current_, currentKey_);
  listing.exact.insert(name);
  listing.folded.emplace(Folded(name), name);
  listing.madeFiles.insert(Folded(name));
}

std::future<void> TargetFolder::FlushInBackground(std::vector<MemberFile*> files) const {
  const NativeFolder* root = root_.get();
  auto flush = [files = std::move(files), root] {
    for (MemberFile* file : files) file->Flush();
    root->FlushAll();
  };
  try {
    return std::async(std::launch::async, std::move(flush));
  } catch (const std::system_error&) {
    std::packaged_task<void()> here(std::move(flush));
    here();
    return here.get_future();
  }
}

void TargetFolder::Flush() {
  // Only a writing run changes anything, and it always has its root.
  if (!changed_) return;
  root_->FlushAll();
  changed_ = false;
}

}  // namespace qz::unzip32

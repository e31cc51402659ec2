#include "delta/DeltaDownload.h"

#include <libdeflate.h>

#include <algorithm>
#include <exception>
#include <map>
#include <new>

#include "delta/DeltaArchive.h"
#include "delta/PartCollector.h"
#include "platform/BatchedRangeFetch.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/UrlServices.h"
#include "zipformat/InstalledFiles.h"
#include "zipformat/MemberContent.h"
#include "zipformat/Sha256.h"

namespace qz {
namespace {

// A local header and the longest name and extra field it may carry, and a zip64 data
// descriptor with its signature: no entry is longer than this beyond its data.
constexpr uint64_t kMostAroundData = 30 + 2 * 0xFFFF + 24;

[[noreturn]] void FullDownload(const std::string& why) {
  throw Error(Error::kInternalError, why, "DeltaDownload");
}

// Ranges of neighbouring entries joined where the gap between them is small.
std::vector<ByteRange> Merged(std::vector<ByteRange> ranges) {
  std::sort(ranges.begin(), ranges.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.first < b.first; });
  std::vector<ByteRange> merged;
  for (const ByteRange& range : ranges) {
    if (!merged.empty() && range.first <= merged.back().last + 1 + DeltaDownload::kMergeGap) {
      merged.back().last = std::max(merged.back().last, range.last);
    } else {
      merged.push_back(range);
    }
  }
  return merged;
}

}  // namespace

DeltaDownload::DeltaDownload(UrlServices& urls, FileSystem& files, std::string applicationPath)
    : urls_(urls), files_(files), applicationPath_(std::move(applicationPath)) {}

void DeltaDownload::RequireSigned(const ArchiveListing& archive) {
  signed_ = &archive;
}

void DeltaDownload::RequireDirectory(const std::string& sha256) {
  requiredDirectory_ = sha256;
  anyShare_ = true;
}

DeltaDownload::Outcome DeltaDownload::Run(const std::string& url, const std::string& stagedPath,
                                          const std::string& keptPath, TransferObserver* observer) {
  outcome_ = Outcome{};
  validator_.clear();
  cancelled_ = false;
  changed_ = false;
  refused_ = false;
  PartCollector parts(observer);
  PartCollector entries(observer);
  try {
    ReadDirectory(url, parts);
    const std::vector<Needed> needed = Plan();
    Restore(keptPath, entries);
    FetchEntries(url, needed, entries);
    files_.WriteTextFile(stagedPath, Build(needed, entries));
    outcome_.result = Result::kDone;
  } catch (const Error& error) {
    outcome_.result = cancelled_ ? Result::kCancelled : Result::kFullDownload;
    outcome_.reason = error.Description();
  } catch (const std::bad_alloc&) {
    outcome_.reason = "not enough memory for the changed members";
  }
  Keep(keptPath, entries);
  return outcome_;
}

void DeltaDownload::Restore(const std::string& keptPath, PartCollector& entries) {
  try {
    if (!keptPath.empty() && files_.FileExists(keptPath)) {
      outcome_.keptReused =
          entries.Restore(files_.ReadTextFile(keptPath, kMaxDeltaBytes * 2), validator_);
    }
  } catch (const Error&) {
    // Kept parts that cannot be read are fetched again.
  }
}

// Fetched entries wait for the next attempt unless they are complete or outdated.
void DeltaDownload::Keep(const std::string& keptPath, const PartCollector& entries) {
  if (keptPath.empty()) return;
  try {
    const bool worthKeeping = outcome_.result != Result::kDone && !changed_ && !refused_ &&
                              !validator_.empty() && entries.HoldsParts();
    if (worthKeeping) {
      files_.WriteTextFile(keptPath, entries.Kept(validator_));
    } else if (files_.FileExists(keptPath)) {
      files_.DeleteFile(keptPath);
    }
  } catch (const std::exception&) {
    // Without them the next attempt fetches these entries again.
  }
}

void DeltaDownload::ReadDirectory(const std::string& url, PartCollector& parts) {
  parts.Expect(-1, CentralDirectory::kTailBytes);
  BatchedRangeFetch tailFetch(urls_, url, "", -1);
  const BatchedRangeFetch::Outcome tail =
      Fetched(tailFetch.Fetch({ByteRange::Suffix(CentralDirectory::kTailBytes)}, parts, 1));
  if (tail.validator.empty() || tail.totalLength < 0) {
    FullDownload("the server gives no validator or length for the archive");
  }
  validator_ = tail.validator;
  outcome_.archiveBytes = static_cast<uint64_t>(tail.totalLength);
  if (signed_ != nullptr && outcome_.archiveBytes != signed_->ArchiveSize()) {
    Refused("the archive's length differs from the signed one");
  }
  const uint64_t length = outcome_.archiveBytes;
  if (length == 0) FullDownload("the archive is empty");
  const uint64_t tailOffset = length - std::min(length, CentralDirectory::kTailBytes);
  const std::string_view tailBytes = parts.Slice({tailOffset, length - 1});
  if (tailBytes.empty()) FullDownload("the server sent no tail of the archive");
  location_ = CentralDirectory::Locate(tailBytes, tailOffset, length);
  if (signed_ != nullptr && location_.offset != signed_->directoryOffset) {
    Refused("the archive's directory does not start where it was signed to");
  }
  RefuseLargeDirectory();
  // The directory and everything after it to the archive's end, held once (the tail and
  // the rest of a longer directory join in `parts`).
  if (location_.offset < tailOffset) {
    const ByteRange before{location_.offset, tailOffset - 1};
    parts.Expect(-1, before.Length());
    BatchedRangeFetch rest(urls_, url, validator_, static_cast<int64_t>(length));
    Fetched(rest.Fetch({before}, parts, 1));
  }
  const std::string_view fromDirectory = parts.Slice({location_.offset, length - 1});
  if (fromDirectory.empty()) FullDownload("the server sent no directory of the archive");
  if (signed_ != nullptr) CheckDirectory(fromDirectory);
  outcome_.leftOut.directorySha256 = Sha256::HexOf(fromDirectory);
  if (!requiredDirectory_.empty() && outcome_.leftOut.directorySha256 != requiredDirectory_) {
    FullDownload("the archive on the server is no longer the one the update came from");
  }
  members_ = CentralDirectory::Members(fromDirectory.substr(0, static_cast<size_t>(location_.size)),
                                       location_);
  if (signed_ != nullptr) items_ = SignedItems();
}

// The directory's bytes, a copy of each record and an object per member must fit within
// the delta's memory, and a directory that is most of the archive leaves nothing to save:
// both are refused before the directory is fetched.
void DeltaDownload::RefuseLargeDirectory() const {
  const double held = 2.0 * static_cast<double>(location_.size) +
                      static_cast<double>(location_.entries) * sizeof(ZipMember);
  if (held > static_cast<double>(kMaxDeltaBytes)) {
    FullDownload("the archive's directory is too large to hold");
  }
  if (static_cast<double>(location_.size) >
      kMostOfArchive * static_cast<double>(outcome_.archiveBytes)) {
    FullDownload("the archive's directory is most of the archive");
  }
}

void DeltaDownload::CheckDirectory(std::string_view fromDirectory) {
  if (fromDirectory.size() != signed_->directoryLength ||
      Sha256::HexOf(fromDirectory) != signed_->directorySha256) {
    Refused("the archive's directory differs from the signed one");
  }
}

// The directory is the signed one, so its file members and the signed items correspond
// one to one, in order.
std::vector<const ArchiveMemberItem*> DeltaDownload::SignedItems() const {
  std::vector<const ArchiveMemberItem*> items(members_.size(), nullptr);
  size_t next = 0;
  for (size_t i = 0; i < members_.size(); ++i) {
    const std::string& name = members_[i].name;
    const std::string target = InstalledFiles::TargetName(name);
    // A member without a usable name is left to the whole archive's test, which refuses it.
    const bool folderEntry = !name.empty() && (name.back() == '/' || name.back() == '\\');
    if (target.empty() && !folderEntry) FullDownload(name + " has no name to be installed under");
    if (target.empty()) continue;
    if (next == signed_->members.size() || signed_->members[next].name != target ||
        signed_->members[next].size != members_[i].uncompressedSize) {
      FullDownload(name + " has no signed item of its name and size");
    }
    items[i] = &signed_->members[next++];
  }
  if (next != signed_->members.size()) FullDownload("a signed member is not in the archive");
  return items;
}

std::vector<DeltaDownload::Needed> DeltaDownload::Plan() {
  std::vector<uint64_t> starts;
  std::map<std::string, int> targets;
  for (const ZipMember& member : members_) {
    starts.push_back(member.localHeaderOffset);
    // Names that differ only in case land in one file, as the extraction writes them.
    ++targets[InstalledFiles::Folded(InstalledFiles::TargetName(member.name))];
  }
  starts.push_back(location_.offset);
  std::sort(starts.begin(), starts.end());
  if (std::adjacent_find(starts.begin(), starts.end()) != starts.end()) {
    FullDownload("members of the archive overlap");
  }
  InstalledFiles installed(files_, applicationPath_);
  std::vector<Needed> needed;
  const Needed* smallest = nullptr;
  std::vector<Needed> candidates;
  for (size_t i = 0; i < members_.size(); ++i) {
    const ZipMember& member = members_[i];
    const ArchiveMemberItem* item = signed_ != nullptr ? items_[i] : nullptr;
    // A signed archive's folder entries write nothing and carry nothing to check.
    if (signed_ != nullptr && item == nullptr) continue;
    candidates.push_back({&member, EntryRange(member, starts), item});
  }
  for (const Needed& candidate : candidates) {
    const ZipMember& member = *candidate.member;
    if (smallest == nullptr || member.compressedSize < smallest->member->compressedSize) {
      smallest = &candidate;
    }
    // Only a plain file written once by the archive can be left as it is; an AES member's
    // CRC may be zero, so only its own bytes can tell.
    const bool reusable =
        member.IsOrdinaryFile() && member.method != 99 && LeftOutMembers::Listable(member.name) &&
        targets[InstalledFiles::Folded(InstalledFiles::TargetName(member.name))] == 1;
    const std::string sha256 = candidate.item ? candidate.item->sha256 : "";
    if (reusable && installed.Holds(member, sha256)) {
      ++outcome_.membersKept;
      outcome_.leftOut.members.push_back(
          {member.name, member.uncompressedSize, member.crc32, sha256});
      continue;
    }
    needed.push_back(candidate);
  }
  // The extraction refuses an archive without members, so an update in which no member
  // changed carries its smallest one again, which rewrites a file with its own bytes.
  if (needed.empty() && smallest != nullptr) {
    needed.push_back(*smallest);
    --outcome_.membersKept;
    std::erase_if(outcome_.leftOut.members, [&](const LeftOutMembers::Member& left) {
      return left.name == smallest->member->name;
    });
  }
  if (signed_ != nullptr) {
    for (const Needed& entry : needed) RefuseUncheckable(*entry.member);
  }
  outcome_.membersFetched = needed.size();
  return needed;
}

// From the member's local header to the next entry's (or the directory), at most as far as
// the longest header, data and descriptor the member can have.
ByteRange DeltaDownload::EntryRange(const ZipMember& member, const std::vector<uint64_t>& starts) {
  const uint64_t next = *std::upper_bound(starts.begin(), starts.end(), member.localHeaderOffset);
  const uint64_t longest = member.compressedSize + kMostAroundData;
  return {member.localHeaderOffset,
          member.localHeaderOffset + std::min(next - member.localHeaderOffset, longest) - 1};
}

void DeltaDownload::FetchEntries(const std::string& url, const std::vector<Needed>& needed,
                                 PartCollector& parts) {
  std::vector<ByteRange> ranges;
  for (const Needed& entry : needed) ranges.push_back(entry.range);
  ranges = Merged(std::move(ranges));
  uint64_t total = 0;
  uint64_t largest = 0;
  for (const ByteRange& range : ranges) {
    total += range.Length();
    largest = std::max(largest, range.Length());
  }
  if (total > kMaxDeltaBytes) FullDownload("the changed members are too large to hold");
  if (!anyShare_ &&
      static_cast<double>(total) > kMostOfArchive * static_cast<double>(outcome_.archiveBytes)) {
    FullDownload("most of the archive changed");
  }
  parts.Expect(static_cast<int64_t>(total), largest);
  // Entries kept from an interrupted attempt are not fetched again.
  std::erase_if(ranges, [&](const ByteRange& range) { return !parts.Slice(range).empty(); });
  if (ranges.empty()) return;
  BatchedRangeFetch fetch(urls_, url, validator_, static_cast<int64_t>(outcome_.archiveBytes));
  Fetched(fetch.Fetch(ranges, parts, kRangesPerRequest));
  for (const ByteRange& range : ranges) {
    if (parts.Slice(range).empty()) FullDownload("the server left out a part that was asked for");
  }
}

const BatchedRangeFetch::Outcome& DeltaDownload::Fetched(const BatchedRangeFetch::Outcome& fetch) {
  outcome_.requests += fetch.requests;
  outcome_.fetchedBytes += fetch.bytes;
  outcome_.rangesPerRequest = fetch.rangesPerRequest;
  outcome_.oneAtATime = outcome_.oneAtATime || fetch.oneAtATime;
  switch (fetch.result) {
    case BatchedRangeFetch::Result::kDone:
      return fetch;
    case BatchedRangeFetch::Result::kCancelled:
      cancelled_ = true;
      break;
    case BatchedRangeFetch::Result::kChanged:
      changed_ = true;
      FullDownload("the archive changed on the server");
    case BatchedRangeFetch::Result::kFailed:
      break;
  }
  FullDownload(fetch.reason);
}

// Only what can be inflated here can be checked before it is staged.
void DeltaDownload::RefuseUncheckable(const ZipMember& member) {
  if (member.Encrypted() || (member.method != 0 && member.method != 8)) {
    FullDownload(member.name + " is encrypted or compressed in a way that cannot be checked");
  }
  if (member.uncompressedSize > kMaxDeltaBytes) {
    FullDownload(member.name + " is too large to check in memory");
  }
}

void DeltaDownload::Refused(const std::string& why) {
  refused_ = true;
  FullDownload(why);
}

std::string DeltaDownload::Build(const std::vector<Needed>& needed, PartCollector& parts) {
  DeltaArchive archive;
  for (const Needed& entry : needed) {
    const std::string_view bytes = parts.Slice(entry.range);
    const uint64_t length = CentralDirectory::EntryLength(bytes, *entry.member);
    CheckContent(entry, bytes);
    archive.Add(*entry.member, bytes.substr(0, static_cast<size_t>(length)));
  }
  return archive.Finish();
}

// Parts kept from an earlier run or sent by a faulty server must not reach the staging
// folder: a member is staged only when it inflates to its CRC-32 (and signed SHA-256).
void DeltaDownload::CheckContent(const Needed& entry, std::string_view bytes) {
  const ZipMember& member = *entry.member;
  // What cannot be inflated here is left to the extraction's own test (a signed run
  // refused such members already).
  const bool readable = !member.Encrypted() && (member.method == 0 || member.method == 8) &&
                        member.uncompressedSize <= kMaxDeltaBytes;
  if (!readable) return;
  std::string content;
  try {
    content = MemberContent::Inflate(bytes, member, kMaxDeltaBytes);
  } catch (const Error& error) {
    Refused(error.Description());
  }
  if (libdeflate_crc32(0, content.data(), content.size()) != member.crc32) {
    Refused(member.name + ": its bytes do not match its CRC-32");
  }
  if (entry.item != nullptr && Sha256::HexOf(content) != entry.item->sha256) {
    Refused(member.name + ": its bytes differ from the signed ones");
  }
}

}  // namespace qz

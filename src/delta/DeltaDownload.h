#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delta/LeftOutMembers.h"
#include "platform/BatchedRangeFetch.h"
#include "platform/ByteRange.h"
#include "zipformat/ArchiveListing.h"
#include "zipformat/CentralDirectory.h"
#include "zipformat/HeldArchive.h"
#include "zipformat/ZipMember.h"

namespace qz {

class FileSystem;
class PartCollector;
class TransferObserver;
class UrlServices;

// Downloads only the members of a published archive that an installation lacks: reads the
// archive's central directory with range requests, keeps every member whose installed
// file already has its size and CRC-32, fetches the others' entries and writes them as a
// zip of their own with a new directory. Extracting that zip into the folder leaves the
// same files as extracting the whole archive. Whatever stands in the way (a server
// without ranges, a file that changes meanwhile, a part or directory that does not add
// up) ends with the reason, and the caller downloads the whole archive instead.
class DeltaDownload {
 public:
  // Entries whose gap is at most this are fetched as one range: a request costs more.
  static constexpr uint64_t kMergeGap = 16 << 10;
  static constexpr size_t kRangesPerRequest = BatchedRangeFetch::kRangesPerRequest;
  // Above this share of the archive a delta saves too little to be worth its requests.
  static constexpr double kMostOfArchive = 0.9;
  // The changed members are held in memory until written; more goes the ordinary way.
  static constexpr uint64_t kMaxDeltaBytes = HeldArchive::kMaxEntryBytes;

  enum class Result { kDone, kFullDownload, kCancelled };

  struct Outcome {
    Result result = Result::kFullDownload;
    // Why the whole archive must be downloaded (kFullDownload).
    std::string reason;
    uint64_t archiveBytes = 0;
    uint64_t fetchedBytes = 0;
    int requests = 0;
    size_t membersFetched = 0;
    size_t membersKept = 0;
    // Ranges per request the server honoured at the end (fewer than asked: it limits them).
    size_t rangesPerRequest = 0;
    // A multipart reply was broken or refused, so ranges were asked for one at a time.
    bool oneAtATime = false;
    // Entries kept by an interrupted run were taken up.
    bool keptReused = false;
    // The members left out as installed already (kDone), for the install to check again.
    LeftOutMembers leftOut;
  };

  // `applicationPath` is the folder the archive is extracted into.
  DeltaDownload(UrlServices& urls, FileSystem& files, std::string applicationPath);

  // Checks the run against the vendor's signed items of the archive, which must outlive
  // it: its length and directory, every member by its signed item, an installed file
  // reused only when its SHA-256 is the signed one too, every fetched member inflated and
  // compared before it is staged. Anything that differs or cannot be checked means the
  // whole archive is downloaded.
  void RequireSigned(const ArchiveListing& archive);

  // Ends the run unless the archive's directory, from its start to the archive's end, has
  // `sha256` (lowercase hex): the release that an earlier run's left-out list came from.
  // Such a run fetches what is needed however large a share of the archive it is, as the
  // whole archive could be of another release.
  void RequireDirectory(const std::string& sha256);

  // Writes the zip of what the installation lacks from the archive at `url` to
  // `stagedPath`. `observer` sees the members' bytes as they arrive (their total as the
  // expected length) and ticks; its stop cancels the run. Entries fetched by a run that
  // does not finish wait in `keptPath` (empty: nowhere) for the next run on the same
  // version of the archive, which fetches only the rest.
  Outcome Run(const std::string& url, const std::string& stagedPath, const std::string& keptPath,
              TransferObserver* observer);

 private:
  struct Needed {
    const ZipMember* member;
    ByteRange range;
    const ArchiveMemberItem* item;  // in a signed run
  };

  void Restore(const std::string& keptPath, PartCollector& entries);
  void Keep(const std::string& keptPath, const PartCollector& entries);
  void ReadDirectory(const std::string& url, PartCollector& parts);
  // Ends the run unless `fromDirectory` (the directory to the archive's end) is the signed one.
  void CheckDirectory(std::string_view fromDirectory);
  // Ends the run, before the directory is fetched, when holding it would pass the delta's
  // memory limit or it is most of the archive.
  void RefuseLargeDirectory() const;
  // Each member's signed item, null for folder entries; ends the run when they disagree.
  std::vector<const ArchiveMemberItem*> SignedItems() const;
  static void RefuseUncheckable(const ZipMember& member);
  // Ends the run for a difference from the signed items; nothing fetched is kept.
  [[noreturn]] void Refused(const std::string& why);
  std::vector<Needed> Plan();
  static ByteRange EntryRange(const ZipMember& member, const std::vector<uint64_t>& starts);
  void FetchEntries(const std::string& url, const std::vector<Needed>& needed,
                    PartCollector& parts);
  // Counts a fetch's requests and bytes; ends the run unless it got everything.
  const BatchedRangeFetch::Outcome& Fetched(const BatchedRangeFetch::Outcome& fetch);
  std::string Build(const std::vector<Needed>& needed, PartCollector& parts);
  // Ends the run unless the member in `bytes` (its entry) inflates to its CRC-32 and, in a
  // signed run, its signed SHA-256.
  void CheckContent(const Needed& entry, std::string_view bytes);

  UrlServices& urls_;
  FileSystem& files_;
  std::string applicationPath_;
  Outcome outcome_;
  std::string validator_;
  CentralDirectory::Location location_;
  std::vector<ZipMember> members_;
  const ArchiveListing* signed_ = nullptr;
  std::string requiredDirectory_;
  bool anyShare_ = false;
  std::vector<const ArchiveMemberItem*> items_;
  bool cancelled_ = false;
  bool changed_ = false;
  bool refused_ = false;
};

}  // namespace qz

#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "libunzip32/EntrySpans.h"
#include "libunzip32/MemberPath.h"
#include "libunzip32/NameFilter.h"
#include "libunzip32/RunReport.h"
#include "libunzip32/ZipArchive.h"
#include "libunzip32/ZipError.h"
#include "unzip32.h"

namespace qz::unzip32 {

class MemberFile;
class MemberPrefetch;
class MemberReader;
class SystemError;
class TargetFolder;
class WholeReader;

// One call of the library: checks the options, then tests, lists or extracts every
// selected member of the archive, printing through the callbacks, and returns the
// result code (UnzipResult).
class ExtractionRun {
 public:
  ExtractionRun(const UnzipOptions& options, UnzipCallbacks* callbacks, NameFilter filter);
  ~ExtractionRun();

  int32_t Run();

 private:
  struct Pending {
    std::unique_ptr<MemberFile> file;
    std::string name;    // the file's name once renamed
    std::string member;  // the member's name, for messages
  };

  bool OptionsRefused();
  void ProcessAll(const ZipArchive& archive);
  void Process(const ZipArchive& archive, const ZipArchive::Member& member);
  void List(const ZipArchive::Member& member);
  void Test(const ZipArchive& archive, const ZipArchive::Member& member);
  void Extract(const ZipArchive& archive, const ZipArchive::Member& member);
  // Where the member goes and whether it may be written, reporting every reason against
  // it; the test pass runs the same checks as the installing pass.
  std::optional<std::string> PlanWrite(const ZipArchive::Member& member);
  void MakeFolders(const ZipArchive::Member& member);
  // Makes `folders` current; when too many folders are open, the members written so far
  // take their names first.
  void EnterFolder(const std::vector<std::string>& folders);
  bool OverlapRefused(const ZipArchive& archive);
  // True when another program holds `existing` open even after a bounded wait (BusyWait).
  bool StillHeld(const ZipArchive::Member& member, const std::string& existing);
  bool MayWrite(const ZipArchive::Member& member, const MemberPath& path,
                const std::string& existing);
  // The member's data, asking for a password when it is encrypted; none when no
  // password opens it (the member has been reported then).
  std::unique_ptr<MemberReader> Open(const ZipArchive& archive, const ZipArchive::Member& member);
  bool AskPassword(const std::string& name);
  // Reads the encrypted member whole with the current password; the failure when its data
  // do not pass their checks (CRC, inflating, size), nothing when they do.
  std::optional<ZipError> DataFailure(const ZipArchive& archive, const ZipArchive::Member& member);
  // Where the member's local header starts when WholeReader can read it.
  std::optional<uint64_t> WholeOffset(const ZipArchive::Member& member) const;
  // Starts reading ahead on other threads the members that the run will read whole.
  void StartPrefetch(const ZipArchive& archive);
  // The checked data of a member that WholeReader suits, from the readers ahead when they
  // have it.
  std::string_view ReadWhole(const ZipArchive::Member& member, uint64_t offset);
  void Copy(MemberReader& reader, MemberFile* out);
  // Gives the batch whose flush was started by the previous call its names in member
  // order, once that flush is done, then starts flushing the members written since.
  void Settle();
  // Settles every member written so far.
  void SettleAll();
  void Rename(std::vector<Pending>& batch);
  void ReportSystemFailure(const std::string& name, const SystemError& failure);
  void ReportZipFailure(const std::string& name, int code, const std::string& text);
  void ReportOpenFailure(int code, const std::string& text);
  void Finish(const ZipArchive& archive);

  const UnzipOptions& options_;
  UnzipCallbacks* callbacks_;
  NameFilter filter_;
  RunReport report_;
  std::string archivePath_;
  std::string folderPath_;
  std::unique_ptr<TargetFolder> target_;
  std::vector<EntrySpans::Span> spans_;  // in directory order
  std::unique_ptr<WholeReader> whole_;
  std::unique_ptr<MemberPrefetch> prefetch_;
  std::vector<Pending> pending_;  // written and closed, in member order
  uint64_t pendingBytes_ = 0;
  std::vector<Pending> flushing_;  // the batch before, being flushed by flush_
  std::future<void> flush_;        // declared after target_: waits before it closes
  std::vector<char> buffer_;
  std::string password_;
  std::set<std::string> written_;  // paths written in this run, without regard to case
  bool overwriteNone_ = false;
  bool stopped_ = false;
  uint64_t processed_ = 0;
  uint64_t totalSize_ = 0;
  uint64_t totalCompressed_ = 0;
  uint64_t memberCount_ = 0;
};

}  // namespace qz::unzip32

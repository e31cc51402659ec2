#pragma once

#include <cstdint>
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
#include "unzip32.h"

namespace qz::unzip32 {

class MemberFile;
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
  bool OverlapRefused(const ZipArchive& archive);
  bool MayWrite(const ZipArchive::Member& member, const MemberPath& path,
                const std::string& existing);
  // The member's data, asking for a password when it is encrypted; none when no
  // password opens it (the member has been reported then).
  std::unique_ptr<MemberReader> Open(const ZipArchive& archive, const ZipArchive::Member& member);
  bool AskPassword(const std::string& name);
  // Where the member's local header starts when WholeReader can read it.
  std::optional<uint64_t> WholeOffset(const ZipArchive::Member& member) const;
  void Copy(MemberReader& reader, MemberFile* out);
  // Flushes the data of the members written since the last call all at once, then gives
  // them their names in member order.
  void Settle();
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
  struct Pending {
    std::unique_ptr<MemberFile> file;
    std::string name;    // the file's name once renamed
    std::string member;  // the member's name, for messages
  };
  std::vector<Pending> pending_;  // written and closed, in member order, all in the current folder
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

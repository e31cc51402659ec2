#include "libunzip32/ExtractionRun.h"

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "libunzip32/BusyWait.h"
#include "libunzip32/CallerText.h"
#include "libunzip32/EntrySpans.h"
#include "libunzip32/MemberFile.h"
#include "libunzip32/MemberPath.h"
#include "libunzip32/MemberPrefetch.h"
#include "libunzip32/MemberReader.h"
#include "libunzip32/SystemError.h"
#include "libunzip32/TargetFolder.h"
#include "libunzip32/WholeReader.h"
#include "libunzip32/ZipError.h"

namespace qz::unzip32 {
namespace {

// Member data is streamed through one buffer of this size, never held whole.
constexpr size_t kBufferSize = 256 * 1024;
constexpr int kPasswordQuestions = 3;
constexpr int32_t kPasswordBufferSize = 257;
// Answers of the replace function.
constexpr int32_t kReplaceYes = 102;
constexpr int32_t kReplaceNone = 104;
// The longest name of one file or folder that the file systems take (bytes here, UTF-16
// units on Windows, where the 8-bit name never has more units than bytes).
constexpr size_t kNameMax = 255;
// Members are flushed and renamed in batches of this many members or bytes: each batch is
// flushed while the next is written, and renamed once that one is complete. Also bounds the
// temporary files that a run leaves when it is killed.
constexpr size_t kPendingMembers = 256;
constexpr uint64_t kPendingBytes = 64ull << 20;
// Folders kept open for the members that wait in them; bounds the handles a run holds.
constexpr size_t kOpenFolders = 64;

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

uint32_t Clamped(uint64_t value) {
  return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value);
}

int32_t PercentSaved(uint64_t size, uint64_t compressed) {
  if (size == 0) return 0;
  double saved = (static_cast<double>(size) - static_cast<double>(compressed)) * 100.0 /
                 static_cast<double>(size);
  return static_cast<int32_t>(std::lround(saved));
}

bool TooLong(const MemberPath& path) {
  if (path.file.size() > kNameMax) return true;
  return std::any_of(path.folders.begin(), path.folders.end(),
                     [](const std::string& folder) { return folder.size() > kNameMax; });
}

bool StartsAsZip(const std::string& path) {
  std::ifstream in(CallerText::FilePath(path), std::ios::binary);
  char signature[4] = {};
  in.read(signature, 4);
  return in && signature[0] == 'P' && signature[1] == 'K' && signature[2] == 3 && signature[3] == 4;
}

}  // namespace

ExtractionRun::ExtractionRun(const UnzipOptions& options, UnzipCallbacks* callbacks,
                             NameFilter filter)
    : options_(options),
      callbacks_(callbacks),
      filter_(std::move(filter)),
      report_(callbacks, options.MessageLevel),
      archivePath_(CallerText::Inward(options.ZipFileName)),
      folderPath_(CallerText::Inward(options.ExtractDir)) {}

ExtractionRun::~ExtractionRun() = default;

int32_t ExtractionRun::Run() {
  if (OptionsRefused()) return report_.Result();
  std::unique_ptr<ZipArchive> archive;
  try {
    archive = std::make_unique<ZipArchive>(archivePath_);
  } catch (const ZipError& failure) {
    ReportOpenFailure(failure.Code(), failure.what());
    return report_.Result();
  }
  if (OverlapRefused(*archive)) return report_.Result();
  if (!options_.ExtractList) {
    try {
      target_ = std::make_unique<TargetFolder>(folderPath_, options_.TestZip != 0);
    } catch (const SystemError& failure) {
      report_.Final(failure.DiskFull() ? kUnzipDiskFull : kUnzipArchiveError, failure.what());
      return report_.Result();
    }
  }
  buffer_.resize(kBufferSize);
  whole_ = std::make_unique<WholeReader>(archivePath_);
  StartPrefetch(*archive);
  ProcessAll(*archive);
  prefetch_.reset();
  SettleAll();
  try {
    if (target_) target_->Flush();
  } catch (const SystemError& failure) {
    report_.Problem(failure.DiskFull() ? kUnzipDiskFull : kUnzipArchiveError,
                    std::string(failure.what()) + ".");
  }
  Finish(*archive);
  return report_.Result();
}

bool ExtractionRun::OptionsRefused() {
  struct Unsupported {
    int32_t value;
    const char* text;
  };
  const Unsupported unsupported[] = {
      {options_.WriteToStdOut, "Writing members to standard output is not supported."},
      {options_.DisplayComment, "Showing the archive comment is not supported."},
      {options_.ConvertCRtoCRLF, "Converting line ends is not supported."},
      {options_.Verbose, "The detailed archive listing is not supported."},
      {options_.Privilege, "Restoring access-control information is not supported."},
  };
  bool refused = false;
  auto refuse = [&](const std::string& text) {
    report_.Final(kUnzipInvalidOptions, text);
    refused = true;
  };
  for (const auto& option : unsupported) {
    if (option.value != 0) refuse(option.text);
  }
  if (options_.ExtractList != 0 && options_.ExtractList != 1) {
    refuse("Unknown listing mode " + std::to_string(options_.ExtractList) + ".");
  }
  if (options_.ExtractList != 0 && options_.TestZip != 0) {
    refuse("Listing and testing cannot be done in one run.");
  }
  if (options_.ExtractList != 0 && (callbacks_ == nullptr || callbacks_->ListEntry == nullptr)) {
    refuse("Listing needs a list function.");
  }
  if (archivePath_.empty()) refuse("No archive name given.");
  if (!options_.TestZip && !options_.ExtractList && folderPath_.empty()) {
    refuse("No extraction folder given.");
  }
  return refused;
}

bool ExtractionRun::OverlapRefused(const ZipArchive& archive) {
  spans_ = EntrySpans::Read(archivePath_);
  auto overlap = EntrySpans::FirstOverlap(spans_);
  if (!overlap) return false;
  auto name = [&](uint64_t index) {
    try {
      return archive.Stat(index).name;
    } catch (const ZipError&) {
      return "member " + std::to_string(index + 1);
    }
  };
  report_.Final(kUnzipSevereError, archivePath_ + ": the members " + name(overlap->first) +
                                       " and " + name(overlap->second) +
                                       " overlap; the archive is damaged or forged.");
  return true;
}

void ExtractionRun::ReportOpenFailure(int code, const std::string& text) {
  switch (code) {
    case ZIP_ER_NOENT:
    case ZIP_ER_OPEN:
      report_.Final(kUnzipNotFound, "Cannot find or open the archive " + archivePath_ + ".");
      break;
    case ZIP_ER_NOZIP:
      // A file that starts like an archive but has no directory at its end was cut short.
      if (StartsAsZip(archivePath_)) {
        report_.Final(kUnzipEndOfArchive,
                      archivePath_ + ": the archive ends early (truncated or incomplete).");
      } else {
        report_.Final(kUnzipNotFound, archivePath_ + ": not a zip archive.");
      }
      break;
    case ZIP_ER_MULTIDISK:
      report_.Final(kUnzipUnsupported, archivePath_ + ": multi-part archives are not supported.");
      break;
    default:
      report_.Final(kUnzipSevereError, archivePath_ + ": the archive is damaged (" + text + ").");
  }
}

void ExtractionRun::ProcessAll(const ZipArchive& archive) {
  uint64_t count = archive.Count();
  if (count == 0) report_.Problem(kUnzipWarning, archivePath_ + ": the archive holds no members.");
  for (uint64_t index = 0; index < count && !stopped_; ++index) {
    ZipArchive::Member member;
    try {
      member = archive.Stat(index);
    } catch (const ZipError& failure) {
      ReportZipFailure("Member " + std::to_string(index + 1), failure.Code(), failure.what());
      continue;
    }
    if (!filter_.Selects(member.name)) continue;
    ++memberCount_;
    totalSize_ += member.size;
    totalCompressed_ += member.compressedSize;
    if (callbacks_ != nullptr && callbacks_->Service != nullptr &&
        callbacks_->Service(CallerText::Outward(member.name).c_str(), Clamped(member.size)) != 0) {
      report_.Final(kUnzipCancelled, "Cancelled.");
      stopped_ = true;
      return;
    }
    Process(archive, member);
  }
}

void ExtractionRun::Process(const ZipArchive& archive, const ZipArchive::Member& member) {
  try {
    if (options_.ExtractList) {
      List(member);
    } else if (options_.TestZip) {
      Test(archive, member);
    } else {
      Extract(archive, member);
    }
  } catch (const ZipError& failure) {
    ReportZipFailure(member.name, failure.Code(), failure.what());
  } catch (const SystemError& failure) {
    ReportSystemFailure(member.name, failure);
  }
}

void ExtractionRun::ReportSystemFailure(const std::string& name, const SystemError& failure) {
  if (failure.DiskFull()) {
    report_.Problem(kUnzipDiskFull, name + ": disk full, extraction stopped.");
    stopped_ = true;
  } else {
    report_.Problem(kUnzipArchiveError, name + ": " + failure.what() + ".");
  }
}

void ExtractionRun::List(const ZipArchive::Member& member) {
  // Runs are never concurrent, so the shared result of localtime is safe here.
  struct tm local = {};
  if (const struct tm* converted = std::localtime(&member.modified)) local = *converted;
  char flag = member.kind == ZipArchive::Kind::kFolder ? 'd'
              : member.kind == ZipArchive::Kind::kLink ? 'l'
                                                       : '-';
  callbacks_->ListEntry(Clamped(member.size), Clamped(member.compressedSize),
                        PercentSaved(member.size, member.compressedSize), local.tm_mon + 1,
                        local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min, flag,
                        CallerText::Outward(member.name).c_str(),
                        ZipArchive::MethodName(member.method), member.crc,
                        member.encryption != ZIP_EM_NONE ? 1 : 0);
  ++processed_;
}

void ExtractionRun::Test(const ZipArchive& archive, const ZipArchive::Member& member) {
  if (member.kind == ZipArchive::Kind::kFolder) {
    MakeFolders(member);
  } else {
    PlanWrite(member);
  }
  if (std::optional<uint64_t> offset = WholeOffset(member)) {
    ReadWhole(member, *offset);
  } else {
    std::unique_ptr<MemberReader> reader = Open(archive, member);
    if (!reader) return;
    Copy(*reader, nullptr);
  }
  ++processed_;
  report_.Progress("    testing: " + member.name + "   OK");
}

void ExtractionRun::Extract(const ZipArchive& archive, const ZipArchive::Member& member) {
  if (member.kind == ZipArchive::Kind::kFolder) return MakeFolders(member);
  std::optional<std::string> name = PlanWrite(member);
  if (!name) return;
  std::string_view data;
  std::unique_ptr<MemberReader> reader;
  if (std::optional<uint64_t> offset = WholeOffset(member)) {
    data = ReadWhole(member, *offset);
  } else if (!(reader = Open(archive, member))) {
    return;
  }
  auto file = std::make_unique<MemberFile>(
      *target_->Current(), member.permissions != 0 ? member.permissions : 0666, member.index);
  if (reader) {
    Copy(*reader, file.get());
  } else {
    file->Write(data.data(), data.size());
  }
  file->Close(member.modified);
  pending_.push_back({std::move(file), *name, member.name});
  pendingBytes_ += member.size;
  if (pending_.size() >= kPendingMembers || pendingBytes_ >= kPendingBytes) Settle();
  ++processed_;
  report_.Progress("  inflating: " + member.name);
}

void ExtractionRun::EnterFolder(const std::vector<std::string>& folders) {
  if (!target_->IsCurrent(folders) && target_->OpenFolders() >= kOpenFolders) {
    SettleAll();
    target_->CloseOthers();
  }
  target_->Enter(folders);
}

void ExtractionRun::Settle() {
  std::vector<Pending> flushed = std::move(flushing_);
  flushing_.clear();
  if (!flushed.empty()) {
    try {
      flush_.get();
    } catch (const SystemError& failure) {
      // The temporary files of the batch go with it: on Windows a file is flushed and
      // closed there, one by one, so its failure is the whole batch's too.
      for (const Pending& member : flushed) ReportSystemFailure(member.member, failure);
      flushed.clear();
    }
    Rename(flushed);
  }
  if (pending_.empty()) return;
  flushing_ = std::move(pending_);
  pending_.clear();
  pendingBytes_ = 0;
  std::vector<MemberFile*> files;
  for (Pending& member : flushing_) files.push_back(member.file.get());
  flush_ = target_->FlushInBackground(std::move(files));
}

void ExtractionRun::SettleAll() {
  Settle();
  Settle();
}

void ExtractionRun::Rename(std::vector<Pending>& batch) {
  for (Pending& member : batch) {
    try {
      member.file->Rename(member.name);
      target_->Changed();
    } catch (const SystemError& failure) {
      ReportSystemFailure(member.member, failure);
    }
  }
}

std::optional<std::string> ExtractionRun::PlanWrite(const ZipArchive::Member& member) {
  if (member.kind != ZipArchive::Kind::kFile) {
    report_.Problem(kUnzipWarning, member.name + ": links and special files are not extracted.");
    return std::nullopt;
  }
  MemberPath path = MemberPath::From(member.name, options_.HonorDirectories != 0,
                                     options_.SpaceToUnderScore != 0);
  if (path.file.empty() || MemberFile::IsTemporaryName(path.file)) {
    report_.Problem(kUnzipWarning, member.name + ": not a usable file name, skipped.");
    return std::nullopt;
  }
  std::string shown = path.Joined();
  if (path.changed) {
    report_.Problem(kUnzipWarning, member.name +
                                       ": root, drive or parent folder parts removed, "
                                       "written as " +
                                       shown + ".");
  }
  if (TooLong(path)) {
    report_.Problem(kUnzipArchiveError, member.name + ": the name is too long to be written.");
    return std::nullopt;
  }
  EnterFolder(path.folders);
  std::string existing = target_->ExistingName(path.file).value_or("");
  std::string key = Folded(shown);
  if (!existing.empty() && target_->IsFolder(existing)) {
    report_.Problem(kUnzipArchiveError,
                    member.name + ": " + existing + " is a folder and cannot be replaced.");
    return std::nullopt;
  }
  if (written_.count(key)) {
    // As "junk paths, overwrite" in the unzip command: the later member quietly wins.
    bool quietly = options_.OverWriteFiles && !options_.PromptOverwrite && !options_.ExtractNewer &&
                   !options_.ExtractOnlyNewer;
    if (!quietly) {
      report_.Problem(kUnzipWarning,
                      member.name + ": replaces an earlier member written as " + shown + ".");
    }
  } else if (!existing.empty() && !MayWrite(member, path, existing)) {
    return std::nullopt;
  } else if (existing.empty() && options_.ExtractNewer && !options_.TestZip) {
    report_.Progress("   skipping: " + shown + " (no file to freshen)");
    return std::nullopt;
  }
  if (!existing.empty() && StillHeld(member, existing)) {
    report_.Problem(kUnzipArchiveError, member.name + ": " + existing +
                                            " is in use by another program and was not replaced.");
    return std::nullopt;
  }
  std::string name = existing.empty() ? path.file : existing;
  if (existing.empty()) target_->Added(name);
  written_.insert(key);
  return name;
}

bool ExtractionRun::StillHeld(const ZipArchive::Member& member, const std::string& existing) {
  // The caller's service function keeps its windows alive while the run waits.
  auto keepAlive = [&] {
    if (callbacks_ != nullptr && callbacks_->Service != nullptr) {
      callbacks_->Service(CallerText::Outward(member.name).c_str(), Clamped(member.size));
    }
  };
  return !BusyWait::Retry([&] { return !target_->IsHeldOpen(existing); }, keepAlive);
}

void ExtractionRun::MakeFolders(const ZipArchive::Member& member) {
  if (!options_.HonorDirectories) return;
  MemberPath path = MemberPath::From(member.name, true, options_.SpaceToUnderScore != 0);
  if (path.changed) {
    report_.Problem(kUnzipWarning, member.name + ": root, drive or parent folder parts removed.");
  }
  EnterFolder(path.folders);
}

bool ExtractionRun::MayWrite(const ZipArchive::Member& member, const MemberPath& path,
                             const std::string& existing) {
  // Skipping a member is no fault, so the test pass neither asks nor skips.
  if (options_.TestZip) return true;
  std::string shown = path.Joined();
  if (options_.ExtractNewer || options_.ExtractOnlyNewer) {
    std::optional<NativeFolder::Entry> entry = target_->Inspect(existing);
    if (entry && member.modified <= entry->modified) {
      report_.Progress("   skipping: " + shown + " (existing file is not older)");
      return false;
    }
    return true;
  }
  if (options_.OverWriteFiles) return true;
  if (options_.PromptOverwrite && !overwriteNone_ && callbacks_ != nullptr &&
      callbacks_->Replace != nullptr) {
    MemberPath target = path;
    target.file = existing;
    std::string full = folderPath_ + "/" + target.Joined();
    int32_t answer = callbacks_->Replace(CallerText::Outward(full).c_str());
    if (answer == kReplaceYes) return true;
    if (answer == kReplaceNone) overwriteNone_ = true;
  }
  report_.Progress("   skipping: " + shown + " (file exists)");
  return false;
}

std::unique_ptr<MemberReader> ExtractionRun::Open(const ZipArchive& archive,
                                                  const ZipArchive::Member& member) {
  if (member.encryption == ZIP_EM_NONE) {
    return std::make_unique<MemberReader>(archive, member.index, member.size, nullptr);
  }
  if (!zip_encryption_method_supported(member.encryption, 0)) {
    throw ZipError(ZIP_ER_ENCRNOTSUPP, "Encryption method not supported");
  }
  // The password that opened the previous member is tried first, then the user is asked.
  bool havePassword = !password_.empty();
  std::optional<ZipError> damage;
  for (int question = 0; question < kPasswordQuestions;) {
    const bool asked = !havePassword;
    if (asked) {
      if (!AskPassword(member.name)) break;
      ++question;
    }
    try {
      auto reader =
          std::make_unique<MemberReader>(archive, member.index, member.size, password_.c_str());
      // The encryption's check lets about one wrong password in 256 through to garbage. A
      // password just given may be the first of two forms of what the user typed, so it
      // must read the member whole before it counts; if not, the next answer (the other
      // form) is tried once before the member is reported damaged.
      if (!asked) return reader;
      if (std::optional<ZipError> failure = DataFailure(archive, member)) {
        if (damage) throw *failure;
        damage = std::move(failure);
        havePassword = false;
        continue;
      }
      return reader;
    } catch (const ZipError& failure) {
      if (failure.Code() != ZIP_ER_WRONGPASSWD && failure.Code() != ZIP_ER_NOPASSWD) throw;
      havePassword = false;
    }
  }
  if (damage) throw *damage;
  report_.Problem(kUnzipBadPassword,
                  member.name + ": skipped, the password is missing or incorrect.");
  return nullptr;
}

std::optional<ZipError> ExtractionRun::DataFailure(const ZipArchive& archive,
                                                   const ZipArchive::Member& member) {
  try {
    MemberReader reader(archive, member.index, member.size, password_.c_str());
    Copy(reader, nullptr);
    return std::nullopt;
  } catch (const ZipError& failure) {
    const int code = failure.Code();
    if (code != ZIP_ER_CRC && code != ZIP_ER_COMPRESSED_DATA && code != ZIP_ER_ZLIB &&
        code != ZIP_ER_INCONS) {
      throw;
    }
    return failure;
  }
}

std::optional<uint64_t> ExtractionRun::WholeOffset(const ZipArchive::Member& member) const {
  if (!WholeReader::Suits(member) || member.index >= spans_.size()) return std::nullopt;
  const EntrySpans::Span& span = spans_[member.index];
  // The archive library and the directory's own reading must agree on the member.
  if (span.compressedSize != member.compressedSize) return std::nullopt;
  return span.offset;
}

void ExtractionRun::StartPrefetch(const ZipArchive& archive) {
  const unsigned threads = MemberPrefetch::Threads();
  if (options_.ExtractList || threads == 0) return;
  // A copy, so that which patterns have matched is still noted as the run goes.
  NameFilter filter = filter_;
  std::vector<MemberPrefetch::Job> jobs;
  for (uint64_t index = 0; index < archive.Count(); ++index) {
    try {
      ZipArchive::Member member = archive.Stat(index);
      if (member.kind != ZipArchive::Kind::kFile || !filter.Selects(member.name)) continue;
      if (std::optional<uint64_t> offset = WholeOffset(member)) {
        jobs.push_back({std::move(member), *offset});
      }
    } catch (const ZipError&) {
      // Reported when the run comes to it.
    }
  }
  // One member gains nothing from another thread.
  if (jobs.size() < 2) return;
  try {
    prefetch_ = std::make_unique<MemberPrefetch>(archivePath_, std::move(jobs), threads);
  } catch (const std::system_error&) {
    // Without threads the run reads every member itself.
  }
}

std::string_view ExtractionRun::ReadWhole(const ZipArchive::Member& member, uint64_t offset) {
  if (prefetch_ && prefetch_->Has(member.index)) return prefetch_->Take(member.index);
  return whole_->Read(member, offset);
}

bool ExtractionRun::AskPassword(const std::string& name) {
  if (callbacks_ == nullptr || callbacks_->Password == nullptr) return false;
  char buffer[kPasswordBufferSize] = {};
  std::string prompt = CallerText::Outward("Password for " + name);
  std::string shown = CallerText::Outward(name);
  if (callbacks_->Password(buffer, kPasswordBufferSize, prompt.c_str(), shown.c_str()) != 0) {
    return false;
  }
  buffer[kPasswordBufferSize - 1] = '\0';
  password_ = buffer;
  return !password_.empty();
}

void ExtractionRun::Copy(MemberReader& reader, MemberFile* out) {
  while (size_t count = reader.Read(buffer_.data(), buffer_.size())) {
    if (out != nullptr) out->Write(buffer_.data(), count);
  }
}

void ExtractionRun::ReportZipFailure(const std::string& name, int code, const std::string& text) {
  switch (code) {
    case ZIP_ER_CRC:
      report_.Problem(kUnzipArchiveError, name + ": bad CRC, the member is damaged.");
      break;
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
      report_.Problem(kUnzipArchiveError, name + ": the compressed data is damaged.");
      break;
    case ZIP_ER_EOF:
      report_.Problem(kUnzipEndOfArchive, name + ": the archive ends early (truncated).");
      break;
    case ZIP_ER_COMPNOTSUPP:
      report_.Problem(kUnzipUnsupported, name + ": compression method not supported.");
      break;
    case ZIP_ER_ENCRNOTSUPP:
      report_.Problem(kUnzipUnsupported, name + ": encryption method not supported.");
      break;
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_INCONS:
      report_.Problem(kUnzipSevereError, name + ": the archive is damaged (" + text + ").");
      break;
    default:
      report_.Problem(kUnzipArchiveError, name + ": " + text + ".");
  }
}

void ExtractionRun::Finish(const ZipArchive& archive) {
  for (const auto& pattern : filter_.Unmatched()) {
    report_.Problem(kUnzipNoMatch, pattern + ": no member of that name.");
  }
  // Some members without a password among others that went well is only a warning.
  if (report_.Result() == kUnzipBadPassword && processed_ > 0) report_.Final(kUnzipWarning, "");
  if (options_.TestZip) {
    report_.Summary(report_.HasErrors()
                        ? "At least one error was detected in " + archivePath_ + "."
                        : "No errors detected in compressed data of " + archivePath_ + ".");
  }
  if (callbacks_ != nullptr) {
    callbacks_->TotalSize = Clamped(totalSize_);
    callbacks_->TotalCompressedSize = Clamped(totalCompressed_);
    callbacks_->MemberCount = Clamped(memberCount_);
    callbacks_->CompressionFactor = PercentSaved(totalSize_, totalCompressed_);
    callbacks_->CommentLength = archive.CommentLength();
  }
}

}  // namespace qz::unzip32

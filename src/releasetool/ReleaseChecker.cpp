#include "releasetool/ReleaseChecker.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "pagedelta/PageCompanionCheck.h"
#include "platform/BatchedRangeFetch.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/UrlServices.h"
#include "releasetool/ArchiveTest.h"
#include "releasetool/CommandOptions.h"
#include "releasetool/RangeProbe.h"
#include "signing/StreamedFileCheck.h"
#include "signing/UpdateVerifier.h"
#include "signing/UtcTimestamp.h"
#include "signtool/SignCommands.h"
#include "startup/InfoFile.h"
#include "startup/VersionToNumber.h"

namespace qz {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kSecondsPerDay = 86400;
// Users keep saved downloads for days; a signature that ends sooner discards them.
constexpr int64_t kFewDays = 14;

bool IsAddress(const std::string& target) {
  return target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0;
}

// Watches a download for what the updater needs beyond its bytes: a declared length, which
// a compressed answer lacks, and the signed size and hash when there are signed items.
class DownloadProbe : public TransferObserver {
 public:
  explicit DownloadProbe(StreamedFileCheck* check) : check_(check) {}
  bool OnData(const char* data, size_t size, uint64_t received, int64_t expected) override {
    declared_ = declared_ && expected >= 0;
    return check_ == nullptr || check_->OnData(data, size, received, expected);
  }
  bool LengthDeclared() const { return declared_; }

 private:
  StreamedFileCheck* check_;
  bool declared_ = true;
};

std::string Describe(int32_t result) {
  if (result >= 100 && result <= 999) return "the server answered " + std::to_string(result);
  return "error " + std::to_string(result);
}

// Why an answer to a range request is not what the updater needs, or empty when it is.
std::string RangeProblem(const RangeProbe::Answer& answer, uint64_t size) {
  const RangeReply& reply = answer.reply;
  if (reply.status == 200) return "answered with the whole file (200)";
  if (reply.code == UrlServices::kInvalidReply || reply.code == UrlServices::kAborted ||
      (reply.code == 0 && !answer.asAsked)) {
    return "answered with parts that do not match the ranges asked for";
  }
  if (reply.code != 0) return Describe(reply.code);
  if (reply.totalLength != static_cast<int64_t>(size)) {
    return "answered with a Content-Range total of " +
           (reply.totalLength < 0 ? std::string("\"*\"") : std::to_string(reply.totalLength)) +
           ", not the file's " + std::to_string(size) + " bytes";
  }
  return "";
}

std::optional<SignedRelease> ItemsOf(const std::string& content) {
  try {
    return SignedRelease::FromVersionInfo(content);
  } catch (const Error&) {
    return std::nullopt;
  }
}

}  // namespace

ReleaseChecker::ReleaseChecker(FileSystem& files, UrlServices& urls, std::ostream& out)
    : files_(files), urls_(urls), out_(out) {}

int ReleaseChecker::Run(const CommandOptions& options) {
  if (options.Positional().size() != 1) {
    throw Error(Error::kInvalidCall, "check takes one release folder or address.",
                CommandOptions::kSource);
  }
  source_ = options.Positional()[0];
  remote_ = IsAddress(source_);
  if (remote_ && source_.back() != '/') source_ += '/';
  scratch_ = (fs::temp_directory_path() / ("qzupdate-check-" + std::to_string(UtcTimestamp::Now()) +
                                           "-" + std::to_string(reinterpret_cast<uintptr_t>(this))))
                 .string();
  fs::create_directories(scratch_ + "/test");
  try {
    if (Fetch("Version.INF", InfoFile::kMaxSize, nullptr, false)) {
      const std::optional<SignedRelease> release = CheckVersionInfo(options);
      for (const std::string& name : SignCommands::ServerFiles()) CheckFile(name, release);
    }
  } catch (const Error& error) {
    Line(Verdict::kFail, error.Description());
  }
  std::error_code error;
  fs::remove_all(scratch_, error);
  return failed_ ? 1 : 0;
}

void ReleaseChecker::Line(Verdict verdict, const std::string& text) {
  static const char* const kWords[] = {"OK  ", "WARN", "FAIL"};
  out_ << kWords[static_cast<int>(verdict)] << "  " << text << "\n";
  failed_ = failed_ || verdict == Verdict::kFail;
}

std::string ReleaseChecker::PathOf(const std::string& name) const {
  return (remote_ ? scratch_ + "/" : source_ + "/") + name;
}

bool ReleaseChecker::Fetch(const std::string& name, uint64_t limit, TransferObserver* observer,
                           bool optional) {
  const std::string path = PathOf(name);
  if (!remote_) {
    if (files_.FileExists(path)) return true;
    if (!optional) Line(Verdict::kFail, name + ": missing from " + source_ + ".");
    return false;
  }
  const int32_t result = urls_.DownloadToFile(source_ + name, path, observer, limit);
  if (result == 0) return true;
  if (optional && result == 404) return false;
  Line(Verdict::kFail,
       name + ": " +
           (result == UrlServices::kTooLarge ? "larger than the updater accepts (1 MiB)."
                                             : Describe(result) + " for " + source_ + name + "."));
  return false;
}

std::optional<SignedRelease> ReleaseChecker::CheckVersionInfo(const CommandOptions& options) {
  const std::string path = PathOf("Version.INF");
  const uint64_t size = files_.FileSize(path);
  if (size > InfoFile::kMaxSize) {
    Line(Verdict::kFail, "Version.INF: larger than the updater accepts (1 MiB).");
    return std::nullopt;
  }
  const std::string content = files_.ReadTextFile(path, InfoFile::kMaxSize);
  std::string version;
  const InfoFile info(content);
  for (const auto& [key, value] : info.Items()) {
    if (key == "ApplicationVersion") {
      version = value;
      break;
    }
  }
  if (VersionToNumber(version) <= 0) {
    Line(Verdict::kFail,
         "Version.INF: no ApplicationVersion the updater can read; it would "
         "read version 0 and never install.");
  } else {
    Line(Verdict::kOk,
         "Version.INF: " + std::to_string(size) + " bytes, ApplicationVersion=" + version + ".");
  }
  std::optional<SignedRelease> release;
  CheckSignature(content, options, release);
  return release;
}

void ReleaseChecker::CheckSignature(const std::string& content, const CommandOptions& options,
                                    std::optional<SignedRelease>& release) {
  const std::vector<std::string> keys = options.All("public-key");
  try {
    if (keys.empty()) {
      release = SignedRelease::FromVersionInfo(content);
      Line(Verdict::kWarn, "signature: not checked; give --public-key to check it.");
      return;
    }
    release =
        UpdateVerifier(keys).Verify(content, options.One("name").value_or(""), UtcTimestamp::Now());
  } catch (const Error& error) {
    // The files are still compared with the items, so that every fault shows at once.
    if (!keys.empty()) release = ItemsOf(content);
    const bool unsigned_ = keys.empty() && error.Number() == SignedRelease::kNoSignature;
    Line(unsigned_ ? Verdict::kWarn : Verdict::kFail,
         "signature: " + (unsigned_ ? std::string("none; only updaters without keys install "
                                                  "this release.")
                                    : error.Description()));
    return;
  }
  const int64_t days = (release->expiresAt - UtcTimestamp::Now()) / kSecondsPerDay;
  Line(days < kFewDays ? Verdict::kWarn : Verdict::kOk,
       "signature: valid, by a trusted key; expires " + release->expires + ", in " +
           std::to_string(days) + " days.");
  if (release->archive) {
    Line(Verdict::kOk, "member items: valid; updaters fetch only the changed files of VQ.Zip.");
  } else {
    Line(Verdict::kWarn,
         "member items: none signed by a trusted key; updaters download VQ.Zip whole.");
  }
}

void ReleaseChecker::CheckFile(const std::string& name,
                               const std::optional<SignedRelease>& release) {
  const UpdateFile* item = release ? release->Find(name) : nullptr;
  std::optional<StreamedFileCheck> check;
  if (release) {
    check.emplace(item ? std::optional<UpdateFile>(*item) : std::nullopt,
                  "Version.INF does not list it, so updaters with keys refuse it.");
  }
  DownloadProbe probe(check ? &*check : nullptr);
  const bool optional = item == nullptr && SignCommands::Optional(name);
  if (!Fetch(name, UrlServices::kNoLimit, &probe, optional)) {
    if (IsCompanion(name)) CheckCompanion(name);
    return;
  }
  const std::string path = PathOf(name);
  if (!remote_ && check) {
    files_.ReadInPieces(path, [&](const char* data, size_t size) { check->Add(data, size); });
  }
  if (remote_) {
    Line(probe.LengthDeclared() ? Verdict::kOk : Verdict::kWarn,
         name + ": status 200, " + std::to_string(files_.FileSize(path)) + " bytes" +
             (probe.LengthDeclared() ? "."
                                     : ", but without a declared length or compressed "
                                       "(Content-Encoding): serve it as it is."));
  }
  if (remote_) CheckRanges(name, files_.FileSize(path));
  if (check) {
    const auto why = check->Mismatch();
    Line(why ? Verdict::kFail : Verdict::kOk,
         name + ": " + (why ? *why : "size and SHA-256 as signed."));
  }
  if (IsCompanion(name)) CheckCompanion(name);
  if (name != "VQ.Zip") return;
  try {
    ArchiveTest::Run(files_, path, scratch_ + "/test");
    Line(Verdict::kOk, "VQ.Zip: passes the extraction library's test.");
  } catch (const Error& error) {
    Line(Verdict::kFail, "VQ.Zip: " + error.Description());
  }
}

bool ReleaseChecker::IsCompanion(const std::string& name) {
  return name == "Data.PGZ" || name == "VqData.PGZ";
}

void ReleaseChecker::CheckCompanion(const std::string& name) {
  const std::string database = name.substr(0, name.find('.')) + ".TXT";
  const std::string databasePath = PathOf(database);
  const std::string path = PathOf(name);
  if (!files_.FileExists(databasePath)) return;
  if (!files_.FileExists(path)) {
    Line(Verdict::kWarn, name + ": none; updaters download " + database +
                             " whole. pack writes it beside " + database + ".");
    return;
  }
  try {
    Line(Verdict::kOk, name + ": " + PageCompanionCheck::Compare(files_, path, databasePath));
  } catch (const Error& error) {
    Line(Verdict::kFail,
         name + ": " + error.Description() + "; updaters then download " + database + " whole.");
  }
}

void ReleaseChecker::CheckRanges(const std::string& name, uint64_t size) {
  // An empty file has no range to ask for, and nothing to resume.
  if (size == 0) return;
  const ByteRange middle{size / 2, std::min(size - 1, size / 2 + 1023)};
  const RangeProbe::Answer single = RangeProbe::Ask(urls_, source_ + name, {middle}, "");
  const std::string problem = RangeProblem(single, size);
  if (problem.empty()) {
    Line(Verdict::kOk, name + ": range request answered with 206 and the file's length.");
    CheckValidator(name, middle, single.reply.validator);
  } else {
    Line(Verdict::kFail, name + ": range request " + problem +
                             "; broken-off downloads need a 206 with the file's length to "
                             "continue.");
  }
  if (name != "VQ.Zip" || size < 3) return;
  // As many ranges as the updater asks for at once, spread over the file.
  const uint64_t count = std::min<uint64_t>(BatchedRangeFetch::kRangesPerRequest, size);
  std::vector<ByteRange> spread;
  for (uint64_t i = 0; i < count; ++i) spread.push_back({i * size / count, i * size / count});
  const RangeProbe::Answer several = RangeProbe::Ask(urls_, source_ + name, spread, "");
  const std::string refused = RangeProblem(several, size);
  const RangeReply& reply = several.reply;
  if (reply.code == 0 && reply.status == 206 && several.parts > 0 && several.parts < count) {
    Line(Verdict::kWarn, name + ": several ranges in one request: the server answers at most " +
                             std::to_string(several.parts) + " of " + std::to_string(count) +
                             "; the updater asks for the rest in batches of " +
                             std::to_string(several.parts) + ".");
    return;
  }
  Line(refused.empty() ? Verdict::kOk : Verdict::kWarn,
       name + ": several ranges in one request " +
           (refused.empty() ? std::string("answered in one multipart reply.")
                            : refused + "; the updater then asks for one range at a time."));
}

void ReleaseChecker::CheckValidator(const std::string& name, const ByteRange& range,
                                    const std::string& validator) {
  if (validator.empty()) {
    Line(Verdict::kFail, name +
                             ": validator: neither a strong ETag nor Last-Modified, so "
                             "broken-off downloads start again from the beginning.");
    return;
  }
  const RangeProbe::Answer again = RangeProbe::Ask(urls_, source_ + name, {range}, validator);
  const bool same =
      again.reply.code == 0 && again.reply.status == 206 && again.reply.validator == validator;
  Line(same ? Verdict::kOk : Verdict::kFail,
       name + ": validator " + validator +
           (same ? " the same on a second request, which If-Range continues."
                 : " not the same on a second request (" +
                       (again.reply.validator.empty() ? std::string("none")
                                                      : again.reply.validator) +
                       "), so broken-off downloads start again from the beginning."));
}

}  // namespace qz

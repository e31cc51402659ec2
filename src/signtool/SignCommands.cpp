#include "signtool/SignCommands.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <new>
#include <optional>
#include <ostream>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/UrlServices.h"
#include "signing/ArchiveDigest.h"
#include "signing/SignedRelease.h"
#include "signing/StreamedFileCheck.h"
#include "signing/UpdateSigner.h"
#include "signing/UpdateVerifier.h"
#include "signing/UtcTimestamp.h"
#include "startup/InfoFile.h"
#include "zipformat/Sha256.h"

namespace qz {
namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kWrongCommandLine = 2;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kDefaultDays = 90;

// Options (`--name value`, repeatable) and the one remaining argument.
struct CommandLine {
  std::multimap<std::string, std::string> options;
  std::vector<std::string> positional;

  std::vector<std::string> All(const std::string& name) const {
    std::vector<std::string> values;
    auto [first, last] = options.equal_range(name);
    for (auto it = first; it != last; ++it) values.push_back(it->second);
    return values;
  }
  std::optional<std::string> One(const std::string& name) const {
    auto values = All(name);
    if (values.empty()) return std::nullopt;
    return values.back();
  }
};

std::optional<CommandLine> Parse(const std::vector<std::string>& args, size_t from,
                                 const std::vector<std::string>& known) {
  CommandLine line;
  for (size_t i = from; i < args.size(); ++i) {
    if (args[i].rfind("--", 0) != 0) {
      line.positional.push_back(args[i]);
      continue;
    }
    const std::string name = args[i].substr(2);
    if (std::find(known.begin(), known.end(), name) == known.end() || i + 1 >= args.size()) {
      return std::nullopt;
    }
    line.options.emplace(name, args[++i]);
  }
  if (line.positional.size() != 1) return std::nullopt;
  return line;
}

bool IsAddress(const std::string& target) {
  return target.rfind("http://", 0) == 0 || target.rfind("https://", 0) == 0;
}

// The expiry as seconds: a date (its first second, UTC), a full time, or days from now.
int64_t ExpiryOf(const CommandLine& line) {
  if (auto days = line.One("days")) {
    if (days->empty() || days->find_first_not_of("0123456789") != std::string::npos ||
        days->size() > 5) {
      throw Error(Error::kInvalidCall, "--days needs a whole number of days.");
    }
    return UtcTimestamp::Now() + std::stoll(*days) * kSecondsPerDay;
  }
  const std::optional<std::string> text = line.One("expires");
  if (!text) return UtcTimestamp::Now() + kDefaultDays * kSecondsPerDay;
  const auto at = UtcTimestamp::Parse(text->size() == 10 ? *text + "T00:00:00Z" : *text);
  if (!at) {
    throw Error(Error::kInvalidCall, "--expires \"" + *text +
                                         "\" is not a date like 2027-06-30 or a time like "
                                         "2027-06-30T12:00:00Z.");
  }
  return *at;
}

std::string ReadKeyFile(FileSystem& files, const std::string& path) {
  std::string text = files.ReadTextFile(path, 1024);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

UpdateFile HashFile(FileSystem& files, const std::string& path, const std::string& name) {
  Sha256 hash;
  uint64_t size = 0;
  files.ReadInPieces(path, [&](const char* data, size_t length) {
    hash.Add(data, length);
    size += length;
  });
  return {name, size, hash.Hex()};
}

// The one value of `key` in a Version.INF that is about to be signed.
std::optional<std::string> OnlyValue(const InfoFile& info, const std::string& key) {
  std::optional<std::string> value;
  for (const auto& [itemKey, itemValue] : info.Items()) {
    if (itemKey != key) continue;
    if (value) throw Error(SignedRelease::kMalformed, "Version.INF has " + key + " twice.");
    value = itemValue;
  }
  return value;
}

void RefuseUnwritable(const std::string& key, const std::string& value) {
  if (value.find_first_of("\"\r\n") != std::string::npos) {
    throw Error(SignedRelease::kMalformed, key + " may not hold a double quote or line break.");
  }
}

}  // namespace

SignCommands::SignCommands(FileSystem& files, UrlServices& urls, std::ostream& out,
                           std::ostream& err)
    : files_(files), urls_(urls), out_(out), err_(err) {}

const std::vector<std::string>& SignCommands::ServerFiles() {
  static const std::vector<std::string> names = {"VQ.Zip", "Data.TXT", "VqData.TXT", "Data.PGZ",
                                                 "VqData.PGZ"};
  return names;
}

bool SignCommands::Optional(const std::string& name) {
  return name != "VQ.Zip" && name != "Data.TXT";
}

int SignCommands::Run(const std::vector<std::string>& args) {
  try {
    if (args.empty()) return Usage();
    if (args[0] == "keygen") return Keygen(args);
    if (args[0] == "sign") return Sign(args);
    if (args[0] == "verify") return Verify(args);
    return Usage();
  } catch (const Error& error) {
    err_ << "qzupdate-sign: " << error.Description() << "\n";
    return kFailed;
  }
}

int SignCommands::Usage() {
  err_ << "usage:\n"
          "  qzupdate-sign keygen <secret key file>\n"
          "  qzupdate-sign sign --key <secret key file> [--key <second key file>]\n"
          "                [--expires YYYY-MM-DD | --days N] [--name <ApplicationName>] <folder>\n"
          "  qzupdate-sign verify --public-key <key> [--public-key <key>]\n"
          "                [--name <ApplicationName>] <folder or http(s) address>\n";
  return kWrongCommandLine;
}

int SignCommands::Keygen(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  namespace fs = std::filesystem;
  const fs::path path = args[1];
  std::error_code error;
  if (fs::exists(path, error)) {
    err_ << "qzupdate-sign: " << args[1]
         << " exists already; a key is never overwritten, choose another name.\n";
    return kFailed;
  }
  SigningKeys::SecretKey secret = SigningKeys::Generate();
  // The file is made empty and closed to its owner before the key goes in.
  std::ofstream(path).close();
  fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace,
                  error);
  if (error) {
    fs::remove(path, error);
    err_ << "qzupdate-sign: cannot make " << args[1] << " private to you.\n";
    return kFailed;
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << SigningKeys::ToBase64(secret) << "\n";
  file.close();
  const SigningKeys::PublicKey publicKey = SigningKeys::PublicOf(secret);
  sodium_memzero(secret.data(), secret.size());
  if (!file) {
    err_ << "qzupdate-sign: cannot write " << args[1] << ".\n";
    return kFailed;
  }
  out_ << "Secret key written to " << args[1] << " (readable by you only; keep it offline).\n"
       << "Build the updater with its public key:\n"
       << "  -DQZUPDATE_SIGNING_KEY=" << SigningKeys::ToBase64(publicKey) << "\n";
  return kDone;
}

int SignCommands::Sign(const std::vector<std::string>& args) {
  const auto line = Parse(args, 1, {"key", "expires", "days", "name"});
  if (!line || line->All("key").empty()) return Usage();
  const std::string folder = line->positional[0];
  std::vector<SigningKeys::SecretKey> keys;
  for (const std::string& keyFile : line->All("key")) {
    try {
      keys.push_back(SigningKeys::ParseSecret(ReadKeyFile(files_, keyFile)));
    } catch (const Error& error) {
      throw Error(error.Number(),
                  "the key file " + keyFile + " cannot be used: " + error.Description());
    }
  }
  const std::string infoPath = folder + "/Version.INF";
  if (!files_.FileExists(infoPath)) throw Error(Error::kFileNotFound, infoPath + " is missing.");
  const std::string original = files_.ReadTextFile(infoPath, InfoFile::kMaxSize);
  const InfoFile info(original);

  SignedRelease release;
  const auto version = OnlyValue(info, "ApplicationVersion");
  if (!version) throw Error(SignedRelease::kMalformed, infoPath + " has no ApplicationVersion.");
  release.applicationVersion = *version;
  const auto named = OnlyValue(info, "ApplicationName");
  const auto wanted = line->One("name");
  if (named && wanted && *named != *wanted) {
    throw Error(SignedRelease::kMalformed,
                "Version.INF names " + *named + ", but --name says " + *wanted + ".");
  }
  release.applicationName =
      named    ? *named
      : wanted ? *wanted
               : std::filesystem::path(folder).lexically_normal().filename().string();
  if (release.applicationName.empty()) {
    throw Error(SignedRelease::kMalformed, "give the application's name with --name.");
  }
  RefuseUnwritable("ApplicationName", release.applicationName);
  RefuseUnwritable("ApplicationVersion", release.applicationVersion);

  const int64_t expiresAt = ExpiryOf(*line);
  if (expiresAt <= UtcTimestamp::Now()) {
    throw Error(UpdateVerifier::kExpired,
                "the expiry " + UtcTimestamp::Format(expiresAt) + " has already passed.");
  }
  release.expires = UtcTimestamp::Format(expiresAt);
  release.expiresAt = expiresAt;
  for (const std::string& name : ServerFiles()) {
    const std::string path = folder + "/" + name;
    if (files_.FileExists(path)) {
      release.files.push_back(HashFile(files_, path, name));
    } else if (!Optional(name)) {
      throw Error(Error::kFileNotFound, path + " is missing; every update needs it.");
    }
  }
  release.archive = MemberItems(folder + "/VQ.Zip");
  const UpdateSigner signer(std::move(keys));
  signer.Sign(release);
  std::string signedInfo = UpdateSigner::Rewrite(original, release);
  if (release.archive && signedInfo.size() > InfoFile::kMaxSize) {
    WholeOnly("its member items would make Version.INF larger than the updater reads");
    release.archive.reset();
    signer.Sign(release);
    signedInfo = UpdateSigner::Rewrite(original, release);
  }
  files_.WriteTextFile(infoPath, signedInfo);
  // Shown with the system's own separators (the folder may come with them, the name with "/").
  out_ << "Signed " << release.applicationName << " " << release.applicationVersion << " in "
       << std::filesystem::path(infoPath).make_preferred().string() << ", valid until "
       << release.expires << ":\n";
  for (const UpdateFile& file : release.files) {
    out_ << "  " << file.name << "  " << file.size << " bytes  " << file.sha256 << "\n";
  }
  if (release.archive) {
    out_ << "  and each of VQ.Zip's " << release.archive->members.size()
         << " files, so that updaters can fetch only the changed ones\n";
  }
  return kDone;
}

std::optional<SignedArchive> SignCommands::MemberItems(const std::string& archive) {
  if (!files_.FileExists(archive)) return std::nullopt;
  try {
    if (files_.FileSize(archive) > ArchiveDigest::kMaxArchiveBytes) {
      throw Error(Error::kOutOfMemory, "it is larger than 1 GiB");
    }
    return ArchiveDigest::Of(
        files_.ReadTextFile(archive, static_cast<size_t>(ArchiveDigest::kMaxArchiveBytes)));
  } catch (const Error& error) {
    WholeOnly(error.Description());
  } catch (const std::bad_alloc&) {
    WholeOnly("there is not enough memory to read it");
  }
  return std::nullopt;
}

void SignCommands::WholeOnly(const std::string& why) {
  out_ << "Note: VQ.Zip is signed as a whole only, so updaters download it whole: " << why << ".\n";
}

int SignCommands::Verify(const std::vector<std::string>& args) {
  const auto line = Parse(args, 1, {"public-key", "name"});
  if (!line || line->All("public-key").empty()) return Usage();
  std::string target = line->positional[0];
  const UpdateVerifier verifier(line->All("public-key"));
  const bool remote = IsAddress(target);
  if (remote && target.back() != '/') target += '/';
  std::string scratch;
  std::string content;
  if (remote) {
    scratch = (std::filesystem::temp_directory_path() /
               ("qzupdate-sign-" + std::to_string(UtcTimestamp::Now()) + "-" +
                std::to_string(reinterpret_cast<uintptr_t>(&scratch))))
                  .string();
    std::filesystem::create_directories(scratch);
    const int32_t result = urls_.DownloadToFile(target + "Version.INF", scratch + "/Version.INF",
                                                nullptr, InfoFile::kMaxSize);
    if (result != 0) {
      std::filesystem::remove_all(scratch);
      throw Error(result, "error " + std::to_string(result) + " while downloading " + target +
                              "Version.INF.");
    }
    content = files_.ReadTextFile(scratch + "/Version.INF", InfoFile::kMaxSize);
  } else {
    const std::string infoPath = target + "/Version.INF";
    if (!files_.FileExists(infoPath)) throw Error(Error::kFileNotFound, infoPath + " is missing.");
    content = files_.ReadTextFile(infoPath, InfoFile::kMaxSize);
  }
  int code = kFailed;
  try {
    const SignedRelease release =
        verifier.Verify(content, line->One("name").value_or(""), UtcTimestamp::Now());
    out_ << "Version.INF: " << release.applicationName << " " << release.applicationVersion
         << ", signed, valid until " << release.expires << "\n";
    code = remote ? VerifyDownloads(release, target, scratch) : VerifyFiles(release, target);
  } catch (const Error& error) {
    err_ << "qzupdate-sign: Version.INF is refused. " << error.Description() << "\n";
  }
  if (remote) std::filesystem::remove_all(scratch);
  return code;
}

int SignCommands::VerifyFiles(const SignedRelease& release, const std::string& folder) {
  int code = kDone;
  for (const std::string& name : ServerFiles()) {
    const UpdateFile* item = release.Find(name);
    const std::string path = folder + "/" + name;
    if (!files_.FileExists(path)) {
      if (item != nullptr || !Optional(name)) {
        err_ << "qzupdate-sign: " << name << " is missing from " << folder << ".\n";
        code = kFailed;
      }
      continue;
    }
    StreamedFileCheck check(item ? std::optional<UpdateFile>(*item) : std::nullopt,
                            "Version.INF does not list it.");
    files_.ReadInPieces(path, [&](const char* data, size_t size) { check.Add(data, size); });
    if (auto why = check.Mismatch()) {
      err_ << "qzupdate-sign: " << name << " is refused. " << *why << "\n";
      code = kFailed;
    } else {
      out_ << name << ": matches\n";
    }
  }
  return code;
}

int SignCommands::VerifyDownloads(const SignedRelease& release, const std::string& base,
                                  const std::string& scratch) {
  int code = kDone;
  for (const std::string& name : ServerFiles()) {
    const UpdateFile* item = release.Find(name);
    StreamedFileCheck check(item ? std::optional<UpdateFile>(*item) : std::nullopt,
                            "Version.INF does not list it.");
    const int32_t result = urls_.DownloadToFile(base + name, scratch + "/" + name, &check);
    const bool optional = item == nullptr && Optional(name);
    if (optional && result == 404) continue;
    if (auto why = check.RefusalAfter(result)) {
      err_ << "qzupdate-sign: " << name << " is refused. " << *why << "\n";
      code = kFailed;
    } else if (result != 0) {
      err_ << "qzupdate-sign: error " << result << " while downloading " << base << name << ".\n";
      code = kFailed;
    } else {
      out_ << name << ": matches\n";
    }
  }
  return code;
}

}  // namespace qz

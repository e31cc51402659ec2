#include "releasetool/ReleasePacker.h"

#include <algorithm>
#include <limits>
#include <ostream>

#include "pagedelta/PageCompanionWriter.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "releasetool/ArchiveTest.h"
#include "releasetool/BuildFolder.h"
#include "releasetool/CommandOptions.h"
#include "releasetool/ReproducibleZip.h"
#include "releasetool/UpdaterConfigurator.h"
#include "signing/SigningKeys.h"
#include "startup/VersionToNumber.h"

namespace qz {
namespace {

namespace fs = std::filesystem;

// What a release folder holds, under the names the server serves.
const std::vector<std::string>& ReleaseFiles() {
  static const std::vector<std::string> names = {"Version.INF", "VQ.Zip",   "Data.TXT",
                                                 "VqData.TXT",  "Data.PGZ", "VqData.PGZ"};
  return names;
}

// Paths come from the command line and go to the platform's file calls as 8-bit text.
// With the system's own separators throughout: the parts come with either kind on Windows.
std::string Shown(const fs::path& path) {
  return fs::path(path).make_preferred().string();
}

fs::path PathOf(const std::string& text) {
  return fs::path(text);
}

// The name becomes a folder on the server and an item of Version.INF.
void CheckName(const std::string& name) {
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\\"\r\n:*?<>|") != std::string::npos) {
    throw Error(Error::kInvalidCall, "--name \"" + name +
                                         "\" cannot be a folder name on the server; give the "
                                         "application's name, such as Vq.");
  }
}

// A version that reads as 0 is never newer than anything installed, so nothing would
// ever install it.
void CheckVersion(const std::string& version) {
  if (version.find_first_of("\"\r\n") != std::string::npos || VersionToNumber(version) <= 0) {
    throw Error(Error::kInvalidCall, "--version \"" + version +
                                         "\" is not a version such as 1.4.0; the updater "
                                         "compares versions by their digits.");
  }
}

// Only a folder that holds nothing but an earlier release may be replaced.
void CheckReplaceable(const fs::path& release) {
  std::error_code error;
  if (!fs::exists(release, error)) return;
  if (!fs::is_directory(release, error)) {
    throw Error(Error::kFileExists, Shown(release) + " is a file; choose another --out.");
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(release)) {
    const std::string name = entry.path().filename().string();
    const auto& known = ReleaseFiles();
    if (!entry.is_regular_file() || std::find(known.begin(), known.end(), name) == known.end()) {
      throw Error(Error::kFileExists, Shown(release) + " holds " + name +
                                          ", which is not part of a release; move it away "
                                          "or choose another --out.");
    }
  }
}

// A release written into the build folder would be packed into the next release.
void CheckOutside(const fs::path& out, const fs::path& build) {
  std::error_code error;
  const fs::path outside = fs::weakly_canonical(out, error);
  const fs::path inside = fs::weakly_canonical(build, error);
  const auto [stop, rest] =
      std::mismatch(inside.begin(), inside.end(), outside.begin(), outside.end());
  if (!error && stop == inside.end()) {
    throw Error(Error::kInvalidCall, "--out " + Shown(out) + " lies inside the build folder " +
                                         Shown(build) + "; choose a folder outside it.");
  }
}

// The earlier release stays whole until the new one is in its place, and comes back when
// that fails.
void Replace(const fs::path& release, const fs::path& staging, const fs::path& previous) {
  std::error_code error;
  fs::remove_all(previous, error);
  const bool hadOne = fs::exists(release, error);
  if (hadOne) fs::rename(release, previous);
  try {
    fs::rename(staging, release);
  } catch (...) {
    if (hadOne) fs::rename(previous, release, error);
    throw;
  }
  fs::remove_all(previous, error);
}

void CopyInto(const std::string& from, const fs::path& to) {
  std::error_code error;
  if (!fs::is_regular_file(PathOf(from), error)) {
    throw Error(Error::kFileNotFound, "the database file " + from + " does not exist.");
  }
  if (!fs::copy_file(PathOf(from), to, fs::copy_options::overwrite_existing, error)) {
    throw Error(Error::kPathFileAccess,
                "cannot copy " + from + " to " + Shown(to) + ": " + error.message());
  }
}

std::string VersionInfo(const std::string& name, const std::string& version) {
  return "\"[Version Information]\"\r\n\"ApplicationName=" + name +
         "\"\r\n\"ApplicationVersion=" + version + "\"\r\n";
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

ReleasePacker::ReleasePacker(FileSystem& files, std::ostream& out) : files_(files), out_(out) {}

void ReleasePacker::Pack(const CommandOptions& options, const SignCommand& sign) {
  if (options.Positional().size() != 1) {
    throw Error(Error::kInvalidCall, "pack takes one build folder.", CommandOptions::kSource);
  }
  const std::string name = options.Required("name");
  const std::string version = options.Required("version");
  CheckName(name);
  CheckVersion(version);
  if (!options.One("jet")) {
    throw Error(Error::kInvalidCall,
                "--jet is needed: every update brings the Jet database (served as Data.TXT).");
  }
  if (options.All("key").empty() && (options.One("days") || options.One("expires"))) {
    throw Error(Error::kInvalidCall, "--days and --expires need --key.");
  }
  const fs::path build = PathOf(options.Positional()[0]);
  const fs::path out = PathOf(options.Required("out"));
  CheckOutside(out, build);
  const std::vector<PackMember> members = BuildFolder::Members(build);
  CheckUpdater(members, options);
  const fs::path release = out / PathOf(name);
  CheckReplaceable(release);
  const fs::path staging = out / PathOf("." + name + ".packing");
  std::string signing;
  std::error_code error;
  try {
    WriteStaging(staging, members, options);
    if (!options.All("key").empty()) signing = Sign(staging, options, sign);
    Replace(release, staging, out / PathOf("." + name + ".previous"));
  } catch (...) {
    fs::remove_all(staging, error);
    throw;
  }
  out_ << "Packed " << name << " " << version << " into " << Shown(release) << ":\n";
  Report(release, members.size());
  if (std::none_of(members.begin(), members.end(), [](const PackMember& member) {
        return BuildFolder::Folded(member.name) == "vq.exe";
      })) {
    out_ << "Note: the build folder holds no Vq.exe, so this update leaves the program as it "
            "is.\n";
  }
  out_ << Replaced(signing, Shown(staging), Shown(release));
}

void ReleasePacker::CheckUpdater(const std::vector<PackMember>& members,
                                 const CommandOptions& options) {
  for (const PackMember& member : members) {
    const std::string folded = BuildFolder::Folded(member.name);
    if (folded != "qzupdate" && folded != "qzupdate.exe") continue;
    UpdaterSettings settings;
    try {
      settings = UpdaterConfigurator::SettingsOf(
          files_.ReadTextFile(Shown(member.source), std::numeric_limits<size_t>::max()));
    } catch (const Error& error) {
      throw Error(Error::kInvalidCall, member.relative + ": " + error.Description());
    }
    if (settings.baseUrl.empty()) {
      throw Error(Error::kInvalidCall,
                  member.relative +
                      " carries no server address: installed, it would cut every customer off "
                      "from later updates. Give it one first: qzupdate-release configure " +
                      member.relative + " --base-url <address> [--public-key <key>].");
    }
    std::vector<std::string> signing;
    for (const std::string& keyFile : options.All("key")) {
      try {
        std::string text = files_.ReadTextFile(keyFile, 1024);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        signing.push_back(
            SigningKeys::ToBase64(SigningKeys::PublicOf(SigningKeys::ParseSecret(text))));
      } catch (const Error& error) {
        throw Error(error.Number(),
                    "the key file " + keyFile + " cannot be used: " + error.Description());
      }
    }
    const bool trusted = std::any_of(
        settings.publicKeys.begin(), settings.publicKeys.end(), [&](const std::string& key) {
          return std::find(signing.begin(), signing.end(), key) != signing.end();
        });
    if (!signing.empty() && !trusted) {
      throw Error(Error::kInvalidCall,
                  member.relative +
                      " trusts no key that signs this release: installed, it would refuse "
                      "every later update. Configure it with --public-key and the public key "
                      "of a --key given here.");
    }
    out_ << member.relative << " carries the base address " << settings.baseUrl;
    for (const std::string& key : settings.publicKeys) out_ << ", trusts " << key;
    out_ << (settings.publicKeys.empty() ? ", and installs unsigned updates.\n" : ".\n");
  }
}

void ReleasePacker::WriteStaging(const fs::path& staging, const std::vector<PackMember>& members,
                                 const CommandOptions& options) {
  std::error_code error;
  fs::remove_all(staging, error);
  fs::create_directories(staging / "test", error);
  if (error) {
    throw Error(Error::kPathFileAccess, "cannot make " + Shown(staging) + ": " + error.message());
  }
  ReproducibleZip::Write(staging / "VQ.Zip", members);
  ArchiveTest::Run(files_, Shown(staging / "VQ.Zip"), Shown(staging / "test"));
  fs::remove_all(staging / "test");
  CopyInto(*options.One("jet"), staging / "Data.TXT");
  WriteCompanion(staging, "Data.TXT");
  if (auto sse = options.One("sse")) {
    CopyInto(*sse, staging / "VqData.TXT");
    WriteCompanion(staging, "VqData.TXT");
  }
  files_.WriteTextFile(Shown(staging / "Version.INF"),
                       VersionInfo(options.Required("name"), options.Required("version")));
}

void ReleasePacker::WriteCompanion(const fs::path& staging, const std::string& database) {
  PageCompanionWriter::Write(files_, Shown(staging / database),
                             Shown(staging / PageCompanionWriter::CompanionName(database)),
                             PageCompanionWriter::ChunkSizeFor(database));
}

std::string ReleasePacker::Sign(const fs::path& staging, const CommandOptions& options,
                                const SignCommand& sign) {
  std::vector<std::string> args = {"sign", "--name", options.Required("name")};
  for (const std::string& key : options.All("key")) args.insert(args.end(), {"--key", key});
  for (const char* option : {"days", "expires"}) {
    if (auto value = options.One(option)) {
      args.insert(args.end(), {"--" + std::string(option), *value});
    }
  }
  args.push_back(Shown(staging));
  std::string printed;
  if (sign(args, printed) != 0) throw Error(Error::kInvalidCall, "the release was not signed.");
  return printed;
}

void ReleasePacker::Report(const fs::path& release, size_t members) {
  std::error_code error;
  for (const std::string& file : ReleaseFiles()) {
    const fs::path path = release / file;
    if (!fs::exists(path, error)) continue;
    out_ << "  " << file << "  " << fs::file_size(path) << " bytes"
         << (file == "VQ.Zip" ? ", " + std::to_string(members) + " files, tested" : "") << "\n";
  }
}

}  // namespace qz

#include "signing/VerifiedStaging.h"

#include "platform/BusyFileRetry.h"
#include "platform/Env.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "signing/MemberArchiveCheck.h"
#include "signing/StreamedFileCheck.h"
#include "startup/VersionToNumber.h"

namespace qz {
namespace {

const char kArchive[] = "VQ.Zip";
const char* const kDatabaseFiles[] = {"Data.Mdb", "VqData.Mdf"};

// The database files travel under their stem with ".TXT" on the server; the archive
// under its own name.
std::string ServerName(const std::string& staged) {
  if (staged == kArchive) return staged;
  return staged.substr(0, staged.find('.')) + ".TXT";
}

Error Refusal(const std::string& name, const StreamedFileCheck& check) {
  return Error(StreamedFileCheck::kHashMismatch,
               name + " is not the file its vendor signed. " + check.Mismatch().value_or(""));
}

}  // namespace

VerifiedStaging::VerifiedStaging(Env& env, std::string applicationName, std::string stagingFolder)
    : env_(env),
      check_(env, applicationName, stagingFolder),
      applicationName_(std::move(applicationName)),
      staging_(std::move(stagingFolder)) {}

void VerifiedStaging::Verify(double installedVersion) {
  if (!check_.Enabled()) return;
  release_ = check_.Release();
  RefuseOlder(applicationName_, VersionToNumber(release_->applicationVersion), installedVersion);
  FileSystem& files = env_.files;
  CopyArchive();
  for (const char* name : kDatabaseFiles) {
    const std::string path = staging_ + "/" + name;
    if (!files.FileExists(path)) continue;
    Checked(name, [&](const Inspect& inspect, const std::function<void()>& approve) {
      files.ReadInPieces(path, inspect);
      approve();
    });
  }
}

// The signed archive itself passes as it is copied. In a release signed member by member,
// anything else passes only as an archive of signed members, checked in the private copy
// that the extraction then reads.
void VerifiedStaging::CopyArchive() {
  if (!release_->archive) {
    Checked(kArchive, [&](const Inspect& inspect, const std::function<void()>& approve) {
      privateCopy_ = env_.files.CopyToPrivateFile(staging_ + "/" + kArchive, inspect);
      approve();
    });
    return;
  }
  const UpdateFile* item = release_->Find(kArchive);
  StreamedFileCheck whole(item ? std::optional<UpdateFile>(*item) : std::nullopt, "");
  privateCopy_ = env_.files.CopyToPrivateFile(
      staging_ + "/" + kArchive, [&](const char* data, size_t size) { whole.Add(data, size); });
  if (!whole.Mismatch()) return;
  try {
    MemberArchiveCheck::VerifyFile(env_.files, privateCopy_, *release_->archive,
                                   SignedUpdateCheck::InstallFolderOf(staging_));
  } catch (const Error&) {
    Discard();
    throw;
  }
}

std::string VerifiedStaging::Archive() const {
  return privateCopy_.empty() ? staging_ + "/" + kArchive : privateCopy_;
}

void VerifiedStaging::CopyDatabaseFile(BusyFileRetry& files, const std::string& name,
                                       const std::string& installed) {
  const std::string staged = staging_ + "/" + name;
  if (!release_) {
    files.CopyFile(staged, installed);
    return;
  }
  files.Patiently([&] {
    Checked(name, [&](const Inspect& inspect, const std::function<void()>& approve) {
      files.CopyFileChecked(staged, installed, inspect, approve);
    });
  });
}

void VerifiedStaging::Discard() {
  if (privateCopy_.empty()) return;
  try {
    env_.files.DeleteFile(privateCopy_);
  } catch (const Error&) {
    // A copy left in the temporary folder harms nothing; the installation goes on or ends
    // as it would have.
  }
  privateCopy_.clear();
}

void VerifiedStaging::RefuseOlder(const std::string& applicationName, double version,
                                  double installedVersion) {
  if (!(version < installedVersion)) return;
  throw Error(kOlderRelease, "The update on offer for " + applicationName +
                                 " is older than the version installed on this computer.\r\n"
                                 "An older version is never installed over a newer one, so "
                                 "this update has been discarded.");
}

void VerifiedStaging::Checked(
    const std::string& name,
    const std::function<void(const Inspect& inspect, const std::function<void()>& approve)>& copy)
    const {
  const UpdateFile* item = release_->Find(ServerName(name));
  StreamedFileCheck check(item ? std::optional<UpdateFile>(*item) : std::nullopt,
                          "The signed version information does not list it.");
  // A file longer than signed is refused as soon as it is, not after reading all of it.
  copy(
      [&](const char* data, size_t size) {
        if (!check.Add(data, size)) throw Refusal(name, check);
      },
      [&] {
        if (check.Mismatch()) throw Refusal(name, check);
      });
}

}  // namespace qz

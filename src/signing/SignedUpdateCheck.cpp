#include "signing/SignedUpdateCheck.h"

#include "platform/Env.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "signing/MemberArchiveCheck.h"
#include "signing/UtcTimestamp.h"
#include "startup/InfoFile.h"

namespace qz {
namespace {

struct StagedFile {
  const char* staged;
  const char* server;
};

// The database files travel under their stem with ".TXT" on the server.
constexpr StagedFile kStagedFiles[] = {
    {"VQ.Zip", "VQ.Zip"}, {"Data.Mdb", "Data.TXT"}, {"VqData.Mdf", "VqData.TXT"}};

}  // namespace

SignedUpdateCheck::SignedUpdateCheck(Env& env, std::string applicationName,
                                     std::string stagingFolder)
    : env_(env), applicationName_(std::move(applicationName)), staging_(std::move(stagingFolder)) {
  try {
    verifier_.emplace(env.signingKeys);
  } catch (const Error& error) {
    keyError_ = error;
  }
}

std::string SignedUpdateCheck::InstallFolderOf(const std::string& stagingFolder) {
  return stagingFolder.substr(0, stagingFolder.find_last_of("/\\"));
}

bool SignedUpdateCheck::Enabled() const {
  return !env_.signingKeys.empty();
}

SignedRelease SignedUpdateCheck::Release() {
  if (keyError_) throw *keyError_;
  // Without a name to compare, a release signed for any of the vendor's applications would do.
  if (applicationName_.empty()) {
    throw Error(UpdateVerifier::kOtherApplication,
                "This installation's Version.INF names no application, so no signed update "
                "can be for it.");
  }
  std::string content;
  try {
    content = env_.files.ReadTextFile(staging_ + "/Version.INF", InfoFile::kMaxSize);
  } catch (const Error& error) {
    throw Error(error.Number(), "Version.INF cannot be read: " + error.Description());
  }
  return verifier_->Verify(content, applicationName_, UtcTimestamp::Now());
}

void SignedUpdateCheck::VerifyVersionInfo() {
  if (!Enabled()) return;
  try {
    Release();
  } catch (const Error&) {
    try {
      env_.files.DeleteFile(staging_ + "/Version.INF");
    } catch (const Error&) {
      // The refusal below ends the check either way; a file left behind is read again,
      // and refused again, by every later step.
    }
    throw;
  }
}

std::unique_ptr<StreamedFileCheck> SignedUpdateCheck::WatchDownload(const std::string& serverName) {
  if (!Enabled()) return nullptr;
  try {
    const SignedRelease release = Release();
    const UpdateFile* file = release.Find(serverName);
    if (file != nullptr) return std::make_unique<StreamedFileCheck>(*file, "");
    return std::make_unique<StreamedFileCheck>(std::nullopt,
                                               "The signed version information does not list it.");
  } catch (const Error& error) {
    return std::make_unique<StreamedFileCheck>(
        std::nullopt, "The version information is no longer valid. " + error.Description());
  }
}

void SignedUpdateCheck::VerifyStagedFiles() {
  if (!Enabled()) return;
  const SignedRelease release = Release();
  for (const StagedFile& file : kStagedFiles) {
    const std::string path = staging_ + "/" + file.staged;
    if (!env_.files.FileExists(path)) continue;
    const UpdateFile* item = release.Find(file.server);
    StreamedFileCheck check(item ? std::optional<UpdateFile>(*item) : std::nullopt,
                            "The signed version information does not list it.");
    env_.files.ReadInPieces(path, [&](const char* data, size_t size) { check.Add(data, size); });
    const bool memberArchive = release.archive && std::string(file.staged) == "VQ.Zip";
    if (check.Mismatch() && memberArchive) {
      MemberArchiveCheck::VerifyFile(env_.files, path, *release.archive, InstallFolderOf(staging_));
    } else if (auto why = check.Mismatch()) {
      throw Error(StreamedFileCheck::kHashMismatch,
                  std::string(file.staged) + " is not the file its vendor signed. " + *why);
    }
  }
}

}  // namespace qz

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "signing/SignedUpdateCheck.h"

namespace qz {

struct Env;
class BusyFileRetry;

// The staged update files of one installation, used exactly as they were verified. The
// staged Version.INF is read and verified once; the archive is copied into a private file
// while it is checked, and the extraction reads only that copy; each database file is
// checked on its way into place and replaces the installed one only when it matches. So a
// file replaced in the staging folder after the check is never installed. An updater
// built without keys checks nothing and uses the staged files as they are.
class VerifiedStaging {
 public:
  // `stagingFolder` (the application's folder followed by "/QzUFiles") holds Version.INF,
  // VQ.Zip and the database files.
  VerifiedStaging(Env& env, std::string applicationName, std::string stagingFolder);

  // Verifies the staged Version.INF, refuses a release older than `installedVersion`
  // (kOlderRelease), makes the archive's private copy and checks it (the signed archive,
  // or in a release signed member by member an archive of signed members while the
  // installed files hold the others) and the staged database files, so a changed file is
  // refused before anything is written. Throws qz::Error.
  void Verify(double installedVersion);

  // The archive to test and extract: after Verify in a signed build the private copy,
  // otherwise the staged VQ.Zip.
  std::string Archive() const;

  // Copies the staged `name` (Data.Mdb, VqData.Mdf) over `installed`. In a signed build
  // only the bytes of the release that Verify read pass; anything else throws qz::Error
  // and leaves `installed` as it was. The copy is made through `files` (the caller's
  // installation services): a file held for a moment is waited out, each attempt checked
  // afresh.
  void CopyDatabaseFile(BusyFileRetry& files, const std::string& name,
                        const std::string& installed);

  // Deletes the private copy (errors ignored). The program may end at once after a
  // failure, so the caller says when it is no longer needed.
  void Discard();

  // Throws qz::Error(kOlderRelease) with a sentence for the user when a signed build would
  // install `version` of `applicationName` over the newer `installedVersion`.
  static void RefuseOlder(const std::string& applicationName, double version,
                          double installedVersion);

  // What installing an older release would be to Windows Installer: a downgrade.
  static constexpr int32_t kOlderRelease = static_cast<int32_t>(0x80070666);
  static constexpr char kOlderReleaseTitle[] = "Older Update ...";

 private:
  using Inspect = std::function<void(const char* data, size_t size)>;

  void CopyArchive();

  // Runs `copy` with a check of the staged `name` against the verified release, which it
  // must feed every byte it reads; throws when they are not the signed ones.
  void Checked(const std::string& name,
               const std::function<void(const Inspect& inspect,
                                        const std::function<void()>& approve)>& copy) const;

  Env& env_;
  SignedUpdateCheck check_;
  std::string applicationName_;
  std::string staging_;
  std::optional<SignedRelease> release_;
  std::string privateCopy_;
};

}  // namespace qz

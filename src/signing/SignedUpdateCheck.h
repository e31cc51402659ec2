#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/Error.h"
#include "signing/StreamedFileCheck.h"
#include "signing/UpdateVerifier.h"

namespace qz {

struct Env;

// The signature checks of one update, as the dialogs ask for them. The staged
// Version.INF is the signed record: read again at every step, so nothing unsigned is
// carried from one step (or one run) to the next. An updater built without signing
// keys checks nothing and reads nothing here.
class SignedUpdateCheck {
 public:
  // The keys come from `env`; `stagingFolder` holds the staged Version.INF and is the
  // application's folder followed by "/QzUFiles".
  SignedUpdateCheck(Env& env, std::string applicationName, std::string stagingFolder);

  // The application's folder, which holds `stagingFolder`.
  static std::string InstallFolderOf(const std::string& stagingFolder);

  // Throws qz::Error with the reason when the staged Version.INF is not signed as
  // required; the refused file is deleted so that no later step reads it.
  void VerifyVersionInfo();

  // An observer that checks the download of one server file (e.g. "Data.TXT") against
  // its signed item; null when the updater has no keys.
  std::unique_ptr<StreamedFileCheck> WatchDownload(const std::string& serverName);

  // Checks every staged update file that is present (VQ.Zip, Data.Mdb, VqData.Mdf)
  // against the staged Version.INF (VQ.Zip of a release signed member by member may be an
  // archive of its signed members, the others installed as signed); throws qz::Error
  // naming the first that differs.
  void VerifyStagedFiles();

  // The staged Version.INF's release, read and verified now; throws qz::Error with the
  // reason it is refused. An installation that names no application accepts none.
  SignedRelease Release();

  // False for an updater built without keys: nothing is checked then.
  bool Enabled() const;

 private:
  Env& env_;
  // A key that cannot be read refuses every update rather than none.
  std::optional<UpdateVerifier> verifier_;
  std::optional<Error> keyError_;
  std::string applicationName_;
  std::string staging_;
};

}  // namespace qz

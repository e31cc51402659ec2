#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "signing/SignedArchive.h"

namespace qz {

class FileSystem;
class SignedRelease;
class UrlServices;

// The vendor's commands of qzupdate-sign:
//   keygen <secret key file>
//   sign --key <secret key file> [--key <file>] [--expires <date> | --days <n>]
//        [--name <ApplicationName>] <release folder>
//   verify --public-key <base64> [--public-key <base64>] [--name <ApplicationName>]
//          <release folder | http(s) address of the release folder>
// Results go to `out`, errors (one clear sentence each) to `err`.
class SignCommands {
 public:
  SignCommands(FileSystem& files, UrlServices& urls, std::ostream& out, std::ostream& err);

  // Runs one command line (without the program's name); returns the exit code:
  // 0 done, 1 refused or failed, 2 the command line is wrong.
  int Run(const std::vector<std::string>& args);

  // The update files the updater fetches from a release folder, the database files before
  // their page companions (Data.PGZ, VqData.PGZ).
  static const std::vector<std::string>& ServerFiles();
  // True for the files a release may lack: VqData.TXT and the page companions.
  static bool Optional(const std::string& name);

 private:
  int Keygen(const std::vector<std::string>& args);
  int Sign(const std::vector<std::string>& args);
  int Verify(const std::vector<std::string>& args);
  // The member items of the zip at `archive`; nothing, with a note, when it has none.
  std::optional<SignedArchive> MemberItems(const std::string& archive);
  void WholeOnly(const std::string& why);
  // Checks every file of `release` in `folder` or at the address `base`; 0 when all match.
  int VerifyFiles(const SignedRelease& release, const std::string& folder);
  int VerifyDownloads(const SignedRelease& release, const std::string& base,
                      const std::string& scratch);
  int Usage();

  FileSystem& files_;
  UrlServices& urls_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace qz

#include "releasetool/ReleaseCommands.h"

#include <map>
#include <ostream>
#include <sstream>

#include "platform/Error.h"
#include "releasetool/CommandOptions.h"
#include "releasetool/ReleaseChecker.h"
#include "releasetool/ReleasePacker.h"
#include "releasetool/UpdaterConfigurator.h"
#include "signtool/SignCommands.h"

namespace qz {
namespace {

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kWrongCommandLine = 2;
constexpr char kProgram[] = "qzupdate-release";
constexpr char kBuildOption[] = "-DQZUPDATE_SIGNING_KEY=";

const std::map<std::string, std::string>& Usages() {
  static const std::map<std::string, std::string> usages = {
      {"keygen",
       "qzupdate-release keygen <secret key file>\n"
       "  Makes a signing key pair: the secret key goes into the file (readable by you only,\n"
       "  never overwritten); the public key is printed, for `configure --public-key`.\n"},
      {"sign",
       "qzupdate-release sign --key <secret key file> [--key <second key file>]\n"
       "                      [--expires YYYY-MM-DD | --days N] [--name <ApplicationName>] "
       "<folder>\n"
       "  Signs the release folder: adds the sizes and hashes of its files, the expiry (default\n"
       "  90 days) and the signature to its Version.INF.\n"},
      {"verify",
       "qzupdate-release verify --public-key <key> [--public-key <key>] [--name "
       "<ApplicationName>]\n"
       "                        <folder | http(s) address of the release folder>\n"
       "  Checks a signed release the way the updater will.\n"},
      {"pack",
       "qzupdate-release pack <build folder> --name <ApplicationName> --version <version>\n"
       "                      --jet <Data.Mdb> [--sse <VqData.Mdf>] --out <releases folder>\n"
       "                      [--key <secret key file> [--key <file>] [--days N | --expires "
       "DATE]]\n"
       "  Writes <releases folder>/<ApplicationName>/ as the server serves it: VQ.Zip with every\n"
       "  file of the build folder (stored under its own name: the install drops folders),\n"
       "  Data.TXT, VqData.TXT, their page companions Data.PGZ and VqData.PGZ (updaters fetch\n"
       "  only the changed pages) and Version.INF, signed with --key. Files the install would\n"
       "  refuse are named and nothing is written; the archive is tested before it is kept.\n"},
      {"check",
       "qzupdate-release check <release folder | http(s) address of it>\n"
       "                       [--public-key <key> [--public-key <key>]] [--name "
       "<ApplicationName>]\n"
       "  Fetches the release as the updater will, after uploading it, and prints OK, WARN\n"
       "  or FAIL for each check: Version.INF within 1 MiB and with a version; each update\n"
       "  file answered with 200, its length declared and not compressed; sizes and hashes\n"
       "  as signed; the signature valid and how long; VQ.Zip passing the extraction\n"
       "  library's test. Exits with 1 when a check failed.\n"},
      {"configure",
       "qzupdate-release configure <qzupdate or qzupdate.exe> --base-url <address>\n"
       "                           [--public-key <key> [--public-key <key>]] [--out <file>]\n"
       "qzupdate-release configure <qzupdate or qzupdate.exe> --show\n"
       "  Writes the update server's base address (http or https, ending in /) and the\n"
       "  trusted public keys into a prebuilt updater, in place or into --out; --show prints\n"
       "  them. Configure before you sign the program with your code-signing certificate.\n"},
  };
  return usages;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

}  // namespace

ReleaseCommands::ReleaseCommands(FileSystem& files, UrlServices& urls, std::ostream& out,
                                 std::ostream& err)
    : files_(files), urls_(urls), out_(out), err_(err) {}

int ReleaseCommands::Run(const std::vector<std::string>& args) {
  try {
    return Dispatch(args);
  } catch (const Error& error) {
    err_ << kProgram << ": " << error.Description() << "\n";
    return error.Source() == CommandOptions::kSource ? kWrongCommandLine : kFailed;
  } catch (const std::exception& error) {
    err_ << kProgram << ": " << error.what() << "\n";
    return kFailed;
  }
}

int ReleaseCommands::Dispatch(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "help") return Help("");
  const std::string& command = args[0];
  if (Usages().count(command) == 0) {
    err_ << kProgram << ": unknown command " << command << ".\n";
    Help("");
    return kWrongCommandLine;
  }
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--help") return Help(command);
  }
  if (command == "pack") return Pack(args);
  if (command == "configure") return Configure(args);
  if (command == "check") return Check(args);
  return Signing(args);
}

int ReleaseCommands::RunSigning(const std::vector<std::string>& args, std::string& printed) {
  std::ostringstream out;
  std::ostringstream err;
  const int code = SignCommands(files_, urls_, out, err).Run(args);
  printed = Replaced(out.str(), "qzupdate-sign", kProgram);
  err_ << Replaced(err.str(), "qzupdate-sign", kProgram);
  return code;
}

int ReleaseCommands::Signing(const std::vector<std::string>& args) {
  std::string printed;
  const int code = RunSigning(args, printed);
  out_ << printed;
  if (code == kDone && args[0] == "keygen") {
    out_ << "Or write it into a prebuilt updater:\n"
         << "  " << kProgram << " configure qzupdate.exe --base-url <address> --public-key "
         << printed.substr(printed.find(kBuildOption) + sizeof kBuildOption - 1);
  }
  return code;
}

int ReleaseCommands::Pack(const std::vector<std::string>& args) {
  const CommandOptions options(
      args, 1, {"name", "version", "jet", "sse", "out", "key", "days", "expires"}, {});
  ReleasePacker(files_, out_).Pack(options, [this](const auto& sign, std::string& printed) {
    return RunSigning(sign, printed);
  });
  return kDone;
}

int ReleaseCommands::Configure(const std::vector<std::string>& args) {
  const CommandOptions options(args, 1, {"base-url", "public-key", "out"}, {"show"});
  UpdaterConfigurator(out_).Run(options);
  return kDone;
}

int ReleaseCommands::Check(const std::vector<std::string>& args) {
  const CommandOptions options(args, 1, {"public-key", "name"}, {});
  return ReleaseChecker(files_, urls_, out_).Run(options);
}

int ReleaseCommands::Help(const std::string& command) {
  if (!command.empty()) {
    out_ << "usage: " << Usages().at(command);
    return kDone;
  }
  out_ << "qzupdate-release: the vendor's tool for QzUpdate releases.\n"
          "usage: qzupdate-release <command> [options]; <command> --help for more.\n\n";
  for (const char* name : {"keygen", "configure", "pack", "check", "sign", "verify"}) {
    out_ << Usages().at(name) << "\n";
  }
  return kDone;
}

}  // namespace qz

#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "settings/UpdaterSettings.h"

namespace qz {

class CommandOptions;

// `configure`: writes the base address and the trusted keys into the settings block of a
// prebuilt qzupdate or qzupdate.exe, or shows what its block holds.
class UpdaterConfigurator {
 public:
  explicit UpdaterConfigurator(std::ostream& out);

  // Runs `configure <updater> (--show | --base-url URL [--public-key K]... [--out FILE])`.
  // Throws qz::Error saying what is wrong; the updater file is then unchanged.
  void Run(const CommandOptions& options);

  // Why the updater could not fetch from `url`, or nothing when it can: an http or https
  // address with a host, ending in "/", as the server's file names are appended to it.
  static std::optional<std::string> BaseUrlProblem(const std::string& url);

  // The offset of the one settings block in `binary`; throws qz::Error when there is none
  // or more than one, or when the file carries an Authenticode signature, which any change
  // would break.
  static size_t BlockOffset(const std::string& binary);

  // What the settings block of `binary` holds, signed or not; throws qz::Error when the
  // file is no updater with one settings block.
  static UpdaterSettings SettingsOf(const std::string& binary);

 private:
  // As BlockOffset, for reading: a signed file may be shown.
  static size_t FoundBlock(const std::string& binary);
  void Show(const std::string& updater);
  UpdaterSettings Wanted(const CommandOptions& options);
  void Print(const std::string& what, const UpdaterSettings& settings);

  std::ostream& out_;
};

}  // namespace qz

#pragma once

#include <string>

namespace qz {

// The updater's own version record, compiled in: what QzUpdate.INF publishes about the
// updater. The numbers come from the project's version in CMake.
struct UpdaterVersionInfo {
  std::string companyName;
  // A short description of the updater.
  std::string comments;
  int major = 0;
  int minor = 0;
  int revision = 0;

  // The record of this build.
  static UpdaterVersionInfo Current();
};

}  // namespace qz

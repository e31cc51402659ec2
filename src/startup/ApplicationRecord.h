#pragma once

#include <string>

namespace qz {

// The values every dialog reads: what is installed, where, and the three versions.
// Nothing validates them.
struct ApplicationRecord {
  std::string ApplicationName;  // also the application's folder on the update server
  std::string ApplicationPath;  // the host's folder; local paths are joined to it as text
  double InstalledVersion = 0;
  double OnlineVersion = 0;
  double RemindedVersion = 0;
};

}  // namespace qz

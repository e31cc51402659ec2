#pragma once

#include <string>
#include <vector>

namespace qz {

// What a vendor sets in the updater's binary: the update server's base address and the
// public keys it trusts (none: it trusts the server).
struct UpdaterSettings {
  std::string baseUrl;
  std::vector<std::string> publicKeys;
};

}  // namespace qz

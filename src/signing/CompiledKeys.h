#pragma once

#include <string>
#include <vector>

namespace qz {

// The vendor's public keys built into the updater (QZUPDATE_SIGNING_KEY and
// QZUPDATE_SIGNING_KEY2); empty when it was built without them.
struct CompiledKeys {
  static std::vector<std::string> All();
};

}  // namespace qz

#include "signing/CompiledKeys.h"

namespace qz {

std::vector<std::string> CompiledKeys::All() {
  std::vector<std::string> keys;
  for (const char* key : {QZUPDATE_SIGNING_KEY, QZUPDATE_SIGNING_KEY2}) {
    if (*key != '\0') keys.emplace_back(key);
  }
  return keys;
}

}  // namespace qz

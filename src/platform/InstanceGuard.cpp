#include "platform/InstanceGuard.h"

#include <cstdint>
#include <cstdio>

namespace qz {

std::string InstanceGuard::Key(const std::string& user, const std::string& folder) {
  // A hash keeps the name short and free of separators whatever the folder is called.
  uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char byte : folder) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;
  }
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(hash));
  return "qzupdate-" + user + "-" + digits;
}

}  // namespace qz

#include "zipformat/ZipMember.h"

namespace qz {
namespace {

constexpr uint16_t kMadeOnUnix = 3;
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixRegularFile = 0100000;
constexpr uint32_t kDosFolder = 0x10;

}  // namespace

bool ZipMember::IsOrdinaryFile() const {
  if (name.empty() || name.back() == '/' || name.back() == '\\') return false;
  if ((externalAttributes & kDosFolder) != 0) return false;
  if ((madeBy >> 8) != kMadeOnUnix) return true;
  const uint32_t type = (externalAttributes >> 16) & kUnixTypeMask;
  return type == 0 || type == kUnixRegularFile;
}

}  // namespace qz

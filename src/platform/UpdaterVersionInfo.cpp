#include "platform/UpdaterVersionInfo.h"

namespace qz {

UpdaterVersionInfo UpdaterVersionInfo::Current() {
  return UpdaterVersionInfo{
      .companyName = "VqPrime Software",
      .comments = "QzUpdate - online updater for Vq",
      .major = QZ_VERSION_MAJOR,
      .minor = QZ_VERSION_MINOR,
      .revision = QZ_VERSION_PATCH,
  };
}

}  // namespace qz

#include "platform/UpdaterVersionInfo.h"

namespace qz {

UpdaterVersionInfo UpdaterVersionInfo::Current() {
  return UpdaterVersionInfo{
      .companyName = QZ_COMPANY_NAME,
      .comments = QZ_COMMENTS,
      .major = QZ_VERSION_MAJOR,
      .minor = QZ_VERSION_MINOR,
      .revision = QZ_VERSION_PATCH,
  };
}

}  // namespace qz

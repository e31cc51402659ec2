#include "platform/posix/FileSizeLimit.h"

#include <signal.h>

namespace qz {

void FileSizeLimit::ReportAsError() {
  signal(SIGXFSZ, SIG_IGN);
}

}  // namespace qz

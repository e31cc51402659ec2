#pragma once

namespace qz {

// The process's file-size limit (ulimit -f, RLIMIT_FSIZE).
class FileSizeLimit {
 public:
  // Makes a write beyond the limit fail with EFBIG instead of killing the process with
  // SIGXFSZ, so a download, copy or extraction reports it like a full disk and cleans up.
  // Call once at start, before any file is written.
  static void ReportAsError();
};

}  // namespace qz

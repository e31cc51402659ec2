#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qz {

class ResumableTarget;

// The HTTP rules for continuing a download, shared by every transport: the rest is asked
// for with a range that the server honours only while its file is unchanged (If-Range with
// the validator kept from the first answer); anything but the exact rest means a fresh
// download. Kept bytes that are already the whole file get no rest: a server that checked
// If-Range answers 416 naming the file's length, which is then the kept length.
class ResumePlan {
 public:
  // Resumes from what `target` kept when it kept a validator too; otherwise starts afresh.
  explicit ResumePlan(const ResumableTarget& target);

  // Where the body of the answer starts within the file: 0 for a fresh download.
  uint64_t Offset() const { return offset_; }

  // Request header lines ("Name: value"); none for a fresh download.
  std::vector<std::string> RequestHeaders() const;

  // What to keep for a later resume from an answer's headers: a strong ETag, else
  // Last-Modified, else nothing (a weak ETag cannot validate a range).
  static std::string ValidatorOf(const std::string& etag, const std::string& lastModified);

  // The first byte of a Content-Range value ("bytes 100-199/200" gives 100); -1 when the
  // value is not a byte range.
  static int64_t RangeStart(const std::string& contentRange);

 private:
  uint64_t offset_;
  std::string validator_;
};

}  // namespace qz

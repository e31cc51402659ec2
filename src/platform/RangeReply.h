#pragma once

#include <cstdint>
#include <string>

namespace qz {

// The outcome of UrlServices::FetchRanges.
struct RangeReply {
  // 0 when the whole answer arrived and every byte of it reached the receiver, else a
  // code as UrlServices lists them (a status of 100 to 999 other than 200 and 206 is that
  // status).
  int32_t code = 0;
  // The final answer's HTTP status, 0 when none arrived.
  long status = 0;
  // The file's whole length from a Content-Range (a 200's declared length), -1 unknown.
  int64_t totalLength = -1;
  // The answer's strong ETag, else its Last-Modified, else empty (ResumePlan::ValidatorOf).
  std::string validator;

  // A reply that failed with `failure` before any answer came.
  static RangeReply Failure(int32_t failure) {
    RangeReply reply;
    reply.code = failure;
    return reply;
  }
};

}  // namespace qz

// Reads any bytes as a server's Version.INF with signing items, both generations: the
// release's files, expiry and signatures, and the archive's directory and member items.
// A file that reads must read back the same from the items written for it, so the text a
// signature covers cannot depend on how the items were spelt.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/Error.h"
#include "signing/SignedRelease.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  qz::SignedRelease release;
  try {
    release = qz::SignedRelease::FromVersionInfo(content);
  } catch (const qz::Error&) {
    return 0;
  }
  const qz::SignedRelease again = qz::SignedRelease::FromVersionInfo(release.Items());
  Check(again.CanonicalText() == release.CanonicalText());
  Check(again.signatures == release.signatures);
  Check(again.archive.has_value() == release.archive.has_value());
  if (release.archive) Check(again.MemberText() == release.MemberText());
  return 0;
}

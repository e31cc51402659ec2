#include "libunzip32/MemberFile.h"

#include <cctype>

#include "libunzip32/NativeFolder.h"

namespace qz::unzip32 {
namespace {

constexpr char kTemporaryPrefix[] = ".qzunzip-";
constexpr char kTemporarySuffix[] = ".tmp";

}  // namespace

bool MemberFile::IsTemporaryName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string prefix = kTemporaryPrefix;
  const std::string suffix = kTemporarySuffix;
  return folded.size() >= prefix.size() + suffix.size() && folded.rfind(prefix, 0) == 0 &&
         folded.compare(folded.size() - suffix.size(), suffix.size(), suffix) == 0;
}

MemberFile::~MemberFile() {
  Discard();
}

}  // namespace qz::unzip32

#include "libunzip32/MemberFile.h"

#include <cctype>
#include <string_view>

#include "libunzip32/NativeFolder.h"

namespace qz::unzip32 {
namespace {

constexpr std::string_view kTemporaryPrefix = ".qzunzip-";
constexpr std::string_view kTemporarySuffix = ".tmp";
// The updater writes the files it replaces as ".<name>.<tag>.qztmp".
constexpr std::string_view kReplacementPrefix = ".";
constexpr std::string_view kReplacementSuffix = ".qztmp";

bool Frames(std::string_view name, std::string_view prefix, std::string_view suffix) {
  return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) &&
         name.ends_with(suffix);
}

}  // namespace

bool MemberFile::IsTemporaryName(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return Frames(folded, kTemporaryPrefix, kTemporarySuffix) ||
         Frames(folded, kReplacementPrefix, kReplacementSuffix);
}

MemberFile::~MemberFile() {
  Discard();
}

}  // namespace qz::unzip32

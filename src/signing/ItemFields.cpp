#include "signing/ItemFields.h"

#include "platform/Error.h"
#include "signing/SignedRelease.h"

namespace qz {
namespace {

constexpr size_t kSha256HexDigits = 64;
constexpr size_t kMaxSizeDigits = 19;

}  // namespace

bool ItemFields::IsSize(const std::string& text) {
  if (text.empty() || text.size() > kMaxSizeDigits) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return text.size() == 1 || text[0] != '0';
}

bool ItemFields::IsSha256(const std::string& text) {
  if (text.size() != kSha256HexDigits) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

bool ItemFields::SplitThree(const std::string& value, std::string& first, std::string& second,
                            std::string& rest) {
  const size_t one = value.find(' ');
  const size_t two = one == std::string::npos ? one : value.find(' ', one + 1);
  if (two == std::string::npos) return false;
  first = value.substr(0, one);
  second = value.substr(one + 1, two - one - 1);
  rest = value.substr(two + 1);
  return true;
}

void ItemFields::Malformed(const std::string& what) {
  throw Error(SignedRelease::kMalformed, "Its signed items are malformed: " + what + ".");
}

}  // namespace qz

#include "libunzip32/CallerText.h"

namespace qz::unzip32 {

std::string CallerText::Inward(const char* text) {
  return text != nullptr ? text : "";
}

std::string CallerText::Outward(const std::string& text) {
  return text;
}

}  // namespace qz::unzip32

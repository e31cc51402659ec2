#pragma once

#include <string>

namespace qz {

// A version text as a number: every "." becomes "0", then the text is read leniently
// (spaces, tabs and line feeds ignored, an optional sign, digits up to the first other
// character, 0 when there are none). "1.3.0" gives 10300, "1.10" gives 1010, so versions
// compare by digit count first: 1.2.10 is newer than 1.3. Never fails.
double VersionToNumber(const std::string& text);

}  // namespace qz

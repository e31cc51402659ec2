#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qz::test {

// Writes a zip archive at `path` holding the given members (name, contents), deflated.
void MakeZip(const std::string& path,
             const std::vector<std::pair<std::string, std::string>>& members);

}  // namespace qz::test

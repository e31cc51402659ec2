#pragma once

#include <string>

namespace qz {

class FileSystem;

// The extraction library's test of an update archive, with the options of the install's
// own test: every member read to its end and checked, nothing written.
class ArchiveTest {
 public:
  // Tests `archive` as if extracted flat into the empty folder `scratch`, with the library
  // beside this program. Throws qz::Error with the library's code and what it printed when
  // the test fails, or saying that the library cannot be loaded.
  static void Run(FileSystem& files, const std::string& archive, const std::string& scratch);
};

}  // namespace qz

#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qz::demo {

// Command line of the host application's stand-in:
//   vq-standin [--folder DIR] [--ready-file PATH] [--until-stdin-closes] [--version]
class StandInOptions {
 public:
  // Folder whose Config.ldb is held; empty means the folder of the executable.
  std::string folder;
  // Created once the lock is held, so that a script or test can wait for it.
  std::string readyFile;
  // Also end when standard input reaches its end (the parent closed the pipe).
  bool untilStdinCloses = false;
  // Print the version stamped on the executable and end.
  bool version = false;

  // Parses the arguments after the program name; on a bad argument returns nothing and
  // fills `problem`; on --help or -h returns nothing with `help` set.
  static std::optional<StandInOptions> Parse(const std::vector<std::string>& args,
                                             std::string& problem, bool& help);

  static const char* Usage();
};

}  // namespace qz::demo

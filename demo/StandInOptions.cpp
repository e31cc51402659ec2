#include "StandInOptions.h"

namespace qz::demo {

std::optional<StandInOptions> StandInOptions::Parse(const std::vector<std::string>& args,
                                                    std::string& problem, bool& help) {
  StandInOptions options;
  help = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      return std::nullopt;
    }
    if (arg == "--until-stdin-closes") {
      options.untilStdinCloses = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--folder" || arg == "--ready-file") {
      if (i + 1 == args.size()) {
        problem = arg + " needs a value";
        return std::nullopt;
      }
      (arg == "--folder" ? options.folder : options.readyFile) = args[++i];
    } else {
      problem = "unknown argument: " + arg;
      return std::nullopt;
    }
  }
  return options;
}

const char* StandInOptions::Usage() {
  return "usage: vq-standin [--folder DIR] [--ready-file PATH] [--until-stdin-closes] "
         "[--version]\n"
         "Stands in for the host application Vq: while it runs it holds the lock file\n"
         "Config.ldb in DIR (default: its own folder) open and locked, as Vq's database\n"
         "engine does. Ends on Ctrl+C or SIGTERM (or, with --until-stdin-closes, at the end\n"
         "of its standard input) and deletes nothing. --ready-file PATH is created once the\n"
         "lock is held.\n";
}

}  // namespace qz::demo

#include "ServerOptions.h"

#include <charconv>

namespace qz::demo {

namespace {

bool ParseNumber(const std::string& text, int max, int& number) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0 || value > max) {
    return false;
  }
  number = value;
  return true;
}

}  // namespace

std::optional<ServerOptions> ServerOptions::Parse(const std::vector<std::string>& args,
                                                  std::string& problem, bool& help) {
  ServerOptions options;
  help = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      help = true;
      return std::nullopt;
    }
    if (arg != "--root" && arg != "--port" && arg != "--bind" && arg != "--delay" &&
        arg != "--rate") {
      problem = "unknown argument: " + arg;
      return std::nullopt;
    }
    if (i + 1 == args.size()) {
      problem = arg + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (arg == "--root") {
      options.root = value;
    } else if (arg == "--bind") {
      options.bind = value;
    } else if (arg == "--port" && !ParseNumber(value, 65535, options.port)) {
      problem = "not a port number: " + value;
      return std::nullopt;
    } else if (arg == "--delay" && !ParseNumber(value, 600000, options.delayMs)) {
      problem = "not a delay in milliseconds: " + value;
      return std::nullopt;
    } else if (arg == "--rate" && !ParseNumber(value, 1 << 30, options.bytesPerSecond)) {
      problem = "not a rate in bytes a second: " + value;
      return std::nullopt;
    }
  }
  return options;
}

const char* ServerOptions::Usage() {
  return "usage: qzupdate-demo-server [--root DIR] [--port N] [--bind ADDR] [--delay MS]\n"
         "                            [--rate BYTES]\n"
         "Serves the files under DIR (default: the current folder) by their paths, the way the\n"
         "update server lays them out: /Support/VqPrime/QzUFiles/<ApplicationName>/<file>.\n"
         "Listens on ADDR (default 127.0.0.1), port N (default 8642; 0 picks a free one).\n"
         "--delay MS waits MS milliseconds before each answer, like a slow line.\n"
         "--rate BYTES sends each file at BYTES a second at most.\n"
         "Logs one line per request; stops on Ctrl+C or SIGTERM.\n";
}

}  // namespace qz::demo

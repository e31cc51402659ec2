#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qz::demo {

// Command line of the demo update server:
//   qzupdate-demo-server [--root DIR] [--port N] [--bind ADDR] [--delay MS] [--rate BYTES]
// --port 0 lets the system pick a free port (the server prints the one it got).
class ServerOptions {
 public:
  std::string root = ".";
  int port = 8642;
  std::string bind = "127.0.0.1";
  // Pause before each answer, so that a slow line can be shown (the progress bar moving).
  int delayMs = 0;
  // Bytes a second at which each file body is sent (0: as fast as possible), like a slow line.
  int bytesPerSecond = 0;

  // Parses the arguments after the program name. Returns no options and fills `problem`
  // with a one-line reason when an argument is unknown or a value is missing or malformed;
  // asks for help (`help` set) on --help or -h.
  static std::optional<ServerOptions> Parse(const std::vector<std::string>& args,
                                            std::string& problem, bool& help);

  static const char* Usage();
};

}  // namespace qz::demo

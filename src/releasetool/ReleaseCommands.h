#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qz {

class CommandOptions;
class FileSystem;
class UrlServices;

// qzupdate-release, the vendor's tool: keygen, sign and verify (those of qzupdate-sign),
// pack, configure and check. `<command> --help` describes one command. Results go to `out`,
// errors (one clear sentence each) to `err`.
class ReleaseCommands {
 public:
  ReleaseCommands(FileSystem& files, UrlServices& urls, std::ostream& out, std::ostream& err);

  // Runs one command line (without the program's name); returns the exit code: 0 done,
  // 1 refused or failed, 2 the command line is wrong.
  int Run(const std::vector<std::string>& args);

 private:
  int Dispatch(const std::vector<std::string>& args);
  // Runs a command of qzupdate-sign under this tool's name; what it prints for `out` is
  // returned in `printed`.
  int RunSigning(const std::vector<std::string>& args, std::string& printed);
  int Signing(const std::vector<std::string>& args);
  int Pack(const std::vector<std::string>& args);
  int Configure(const std::vector<std::string>& args);
  int Check(const std::vector<std::string>& args);
  int Help(const std::string& command);

  FileSystem& files_;
  UrlServices& urls_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace qz

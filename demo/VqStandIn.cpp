// A stand-in for the host application Vq. While it runs it holds Config.ldb in its folder
// open and locked, which is how the updater learns that Vq is still running. The demo
// installs it as Vq.exe; tests of the installer start it beside an installation.

#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "LockHolder.h"
#include "StandInOptions.h"

namespace {

namespace fs = std::filesystem;

// The demo stamps each copy of the executable with a line "VQ-VERSION=<version>" appended
// after the program image (the loader ignores trailing bytes), so that the old and the new
// Vq.exe of an update differ and can tell which one they are.
std::string VersionStamp() {
  std::ifstream self("/proc/self/exe", std::ios::binary | std::ios::ate);
  const std::streamoff tail = 128;
  std::streamoff size = self.tellg();
  if (!self || size <= 0) return "unstamped";
  self.seekg(size > tail ? size - tail : 0);
  std::string end((std::istreambuf_iterator<char>(self)), std::istreambuf_iterator<char>());
  const std::string mark = "VQ-VERSION=";
  size_t at = end.rfind(mark);
  if (at == std::string::npos) return "unstamped";
  std::string version = end.substr(at + mark.size());
  return version.substr(0, version.find_first_of("\r\n"));
}

void CreateReadyFile(const std::string& path) {
  std::ofstream ready(path, std::ios::trunc);
  ready << ::getpid() << "\n";
  if (!ready.flush()) throw std::runtime_error("cannot write " + path);
}

// Waits for SIGINT or SIGTERM, or for the end of standard input when asked to.
void WaitForEnd(bool untilStdinCloses) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  int signals = ::signalfd(-1, &set, SFD_CLOEXEC);
  if (signals < 0) throw std::runtime_error("cannot wait for signals");
  pollfd watch[2] = {{signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
  for (;;) {
    if (::poll(watch, untilStdinCloses ? 2 : 1, -1) < 0) continue;
    if (watch[0].revents != 0) break;
    char sink[256];
    if (watch[1].revents != 0 && ::read(STDIN_FILENO, sink, sizeof sink) <= 0) break;
  }
  ::close(signals);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace qz::demo;
  std::string problem;
  bool help = false;
  auto options = StandInOptions::Parse({argv + 1, argv + argc}, problem, help);
  if (!options) {
    std::cerr << (help ? "" : problem + "\n") << StandInOptions::Usage();
    return help ? 0 : 2;
  }
  if (options->version) {
    std::cout << "Vq stand-in " << VersionStamp() << "\n";
    return 0;
  }

  // Blocked before anything else, so that a signal sent as soon as the ready file appears
  // is received by WaitForEnd instead of killing the process with the lock file half-made.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  sigprocmask(SIG_BLOCK, &stop, nullptr);

  try {
    fs::path folder = options->folder.empty() ? fs::read_symlink("/proc/self/exe").parent_path()
                                              : fs::path(options->folder);
    fs::path lockFile = folder / "Config.ldb";
    LockHolder lock(lockFile.string());
    if (!options->readyFile.empty()) CreateReadyFile(options->readyFile);
    std::cout << "Vq stand-in " << VersionStamp() << " is running, holding " << lockFile.string()
              << std::endl;
    WaitForEnd(options->untilStdinCloses);
    std::cout << "Vq (stand-in) has ended" << std::endl;
  } catch (const std::exception& error) {
    std::cerr << "vq-standin: " << error.what() << "\n";
    return 1;
  }
  return 0;
}

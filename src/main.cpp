#include <string>

#include "platform/Env.h"
#include "platform/posix/CurlUrlServices.h"
#include "platform/posix/FileSizeLimit.h"
#include "platform/posix/FlockInstanceGuard.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/ProcessTerminator.h"
#include "platform/posix/SystemClock.h"
#include "platform/qt/QtFormHost.h"
#include "platform/qt/QtPrompts.h"
#include "settings/CompiledSettings.h"
#include "startup/RunUpdater.h"

namespace {

// The command line is the arguments joined by single spaces and is never split again,
// so `qzupdate "/Silent "` and `qzupdate /Silent /Verbose` both run in plain mode.
std::string CommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace

int main(int argc, char** argv) {
  qz::FileSizeLimit::ReportAsError();
  qz::ProcessTerminator terminator;
  try {
    qz::PosixFileSystem files;
    qz::CurlUrlServices urls;
    qz::SystemClock clock;
    qz::QtPrompts prompts;
    qz::QtFormHost forms;
    qz::FlockInstanceGuard instance;
    const qz::UpdaterSettings settings = qz::CompiledSettings::Read();
    qz::Env env{files,
                urls,
                clock,
                prompts,
                forms,
                terminator,
                instance,
                settings.baseUrl,
                settings.publicKeys};
    qz::RunUpdater(env, CommandLine(argc, argv));
  } catch (...) {
    // Only setting up can get here (the run ends the program itself): end quietly.
  }
  terminator.EndProgram();
}

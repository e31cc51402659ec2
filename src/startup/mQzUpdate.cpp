#include "startup/mQzUpdate.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "dialogs/frmCheckQzUpdate.h"
#include "forms/FormHost.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/InstanceGuard.h"
#include "platform/Prompts.h"
#include "platform/Terminator.h"
#include "platform/UpdaterVersionInfo.h"

namespace qz {
namespace {

constexpr int64_t kMillisecondsPerSecond = 1000;

bool IsBlank(const std::string& text) {
  return text.find_first_not_of(' ') == std::string::npos;
}

std::string QuotedLine(const std::string& text) {
  return "\"" + text + "\"\r\n";
}

std::string VersionText(const UpdaterVersionInfo& version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + "." +
         std::to_string(version.revision);
}

}  // namespace

mQzUpdate::mQzUpdate(Env& environment, std::string commandLine)
    : env(environment),
      Forms(*this),
      log(environment.files, environment.clock),
      commandLine_(std::move(commandLine)) {}

void mQzUpdate::Main() {
  App.InstalledVersion = 0;
  App.OnlineVersion = 0;
  App.RemindedVersion = 0;
  log.Event(std::string("start: ") +
            (IsSilent()    ? "silent"
             : IsVerbose() ? "verbose"
                           : "plain") +
            " mode, command line \"" + commandLine_ + "\", updater " +
            VersionText(UpdaterVersionInfo::Current()));
  if (IsBlank(commandLine_)) {
    env.prompts.MsgBox(
        "This program can not be run from here. It is internally used by Vq to download and "
        "install online updation files.",
        kOkOnly | kCritical, "Not Allowed ...");
    End();
  }
  if (env.instance.PreviousInstance()) {
    if (IsVerbose()) {
      env.prompts.MsgBox(
          "The online updater is already running in the background.\r\nPlease wait till it "
          "may complete its job.",
          kOkOnly | kCritical, "Its On ...");
    }
    End();
  }
  if (IsSilent()) WriteSourceInformation();
  Forms.CheckQzUpdate()->Initialize();
}

void mQzUpdate::WriteSourceInformation() {
  const UpdaterVersionInfo version = UpdaterVersionInfo::Current();
  std::string folder;
  try {
    folder = env.files.ExecutableFolder();
  } catch (const Error&) {
    // Without its folder the file cannot be written; the wait still happens.
  }
  std::string text = QuotedLine("[Source Information]") +
                     QuotedLine("DeveloperName=" + version.companyName) +
                     QuotedLine("ApplicationName=" + version.comments) +
                     QuotedLine("ApplicationVersion=" + VersionText(version)) +
                     QuotedLine("ApplicationPath=" + folder) + QuotedLine("[End Of File]");
  try {
    env.files.WriteTextFile(folder + "/QzUpdate.INF", text);
  } catch (const Error&) {
    // A read-only folder or a full disk is not reported; the check still starts.
  }
  int32_t seconds = 30;
  WaitSeconds(seconds);
}

void mQzUpdate::WaitSeconds(const int32_t& n) {
  const int64_t start = env.clock.NowSeconds();
  while (n > env.clock.NowSeconds() - start) {
    const int64_t now = env.clock.NowMilliseconds();
    const int64_t nextSecond = now - now % kMillisecondsPerSecond + kMillisecondsPerSecond;
    // The windows' own events are handled as they come; the host returns at once when
    // there are no windows or the user asked to cancel (which an install ignores).
    env.forms.HandleSystemEvents(static_cast<int>(nextSecond - now));
    // A clock set back must not turn the rest of this second into a long blind sleep.
    const int64_t left = std::min(nextSecond - env.clock.NowMilliseconds(), nextSecond - now);
    if (left > 0) env.clock.SleepMilliseconds(static_cast<int>(left));
  }
}

void mQzUpdate::End() {
  log.Event("end of run");
  env.terminator.EndProgram();
  // A terminator must not return; if one ever does, no later step may run either.
  std::abort();
}

}  // namespace qz

#pragma once

#include <cstdint>
#include <string>

#include "dialogs/DialogInstances.h"
#include "log/UpdateLog.h"
#include "platform/Env.h"
#include "startup/ApplicationRecord.h"

namespace qz {

// The updater's module: the entry procedure, the application record, the modes, the
// wait routine and the dialogs' single instances, for one run of the program.
class mQzUpdate {
 public:
  // `commandLine` is the program's arguments joined by single spaces, never split again.
  mQzUpdate(Env& env, std::string commandLine);

  // Refuses a blank command line, ends a second instance, writes QzUpdate.INF in silent
  // mode, then runs the update check. Returns once the check has handed over; the
  // program then lives as long as a dialog is open.
  void Main();

  // Writes QzUpdate.INF beside the executable (every error ignored), then waits 30 s.
  void WriteSourceInformation();

  // Returns once the clock, read in whole seconds, has advanced by at least n seconds.
  // Wakes about once a second, at each whole second; in between the windows keep being
  // painted and answering the system, but no input reaches them.
  void WaitSeconds(const int32_t& n);

  // The modes: the whole command line compared exactly, case-sensitively, untrimmed.
  bool IsSilent() const { return commandLine_ == "/Silent"; }
  bool IsVerbose() const { return commandLine_ == "/Verbose"; }

  // Ends the program at once.
  [[noreturn]] void End();

  Env& env;
  ApplicationRecord App;
  DialogInstances Forms;
  // The vendor's record of this run; every step adds its lines with log.Event("...").
  UpdateLog log;

 private:
  std::string commandLine_;
};

}  // namespace qz

#include "startup/RunUpdater.h"

#include "forms/FormHost.h"
#include "startup/GuardedRun.h"
#include "startup/mQzUpdate.h"

namespace qz {

void RunUpdater(Env& env, const std::string& commandLine) {
  mQzUpdate module(env, commandLine);
  GuardedRun guarded(env.prompts, env.terminator, module.IsVerbose());
  guarded.Run([&] {
    try {
      module.Main();
      env.forms.RunUntilLastFormClosed();
    } catch (...) {
      module.log.Event("stopped by an unexpected error");
      throw;
    }
    module.log.Event("end of run: the last dialog was closed");
  });
}

}  // namespace qz

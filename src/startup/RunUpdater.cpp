#include "startup/RunUpdater.h"

#include "forms/FormHost.h"
#include "startup/GuardedRun.h"
#include "startup/mQzUpdate.h"

namespace qz {

void RunUpdater(Env& env, const std::string& commandLine) {
  mQzUpdate module(env, commandLine);
  GuardedRun guarded(env.prompts, env.terminator, module.IsVerbose());
  guarded.Run([&] {
    module.Main();
    env.forms.RunUntilLastFormClosed();
  });
}

}  // namespace qz

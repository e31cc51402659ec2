#pragma once

#include <string>

#include "platform/Env.h"

namespace qz {

// The whole run of the updater, shared by every main program: the module's Main for
// `commandLine` under GuardedRun, then the dialogs until the last one closes. Ends the
// program itself, whatever happens.
[[noreturn]] void RunUpdater(Env& env, const std::string& commandLine);

}  // namespace qz

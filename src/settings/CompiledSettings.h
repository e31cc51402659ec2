#pragma once

#include "settings/UpdaterSettings.h"

namespace qz {

// The settings in this program's own block: what the build put there (QZUPDATE_BASE_URL,
// QZUPDATE_SIGNING_KEY, QZUPDATE_SIGNING_KEY2), or what `qzupdate-release configure`
// wrote over it since.
struct CompiledSettings {
  static UpdaterSettings Read();
};

}  // namespace qz

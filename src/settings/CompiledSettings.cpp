#include "settings/CompiledSettings.h"

#include <string>

#include "settings/SettingsBlock.h"

namespace qz {
namespace {

// volatile: the compiler must read the bytes the binary holds when it runs, never the
// values it was built with, since the block is rewritten in the finished binary.
volatile const char kBlock[SettingsBlock::kSize] =
    "QZUPDATE_SETTINGS_BLOCK_1\n"
    "BaseUrl=" QZUPDATE_BASE_URL
    "\n"
    "PublicKey=" QZUPDATE_SIGNING_KEY
    "\n"
    "PublicKey=" QZUPDATE_SIGNING_KEY2 "\n";

}  // namespace

UpdaterSettings CompiledSettings::Read() {
  std::string block(SettingsBlock::kSize, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = kBlock[i];
  return SettingsBlock::Parse(block);
}

}  // namespace qz

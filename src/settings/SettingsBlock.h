#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "settings/UpdaterSettings.h"

namespace qz {

// The fixed-size block of the updater's binary that holds its settings, so that a prebuilt
// updater can be given a vendor's address and keys by rewriting these bytes. The block is a
// marker line, then "BaseUrl=<address>" and "PublicKey=<base64>" lines ended by LF, then
// zero bytes up to its size. The build fills it; `qzupdate-release configure` rewrites it.
class SettingsBlock {
 public:
  static constexpr size_t kSize = 1024;
  // The marker line's length, end of line included. The marker's text is spelt out only
  // where a block is made, so that the binary holds it once, in the block itself.
  static constexpr size_t kMarkerSize = 26;

  // The settings in `block` (marker first, at most kSize bytes): lines up to the first zero
  // byte; empty values and unknown lines are passed over.
  static UpdaterSettings Parse(std::string_view block);

  // The block's text after the marker for `settings`, without the zero bytes.
  static std::string Lines(const UpdaterSettings& settings);
};

}  // namespace qz

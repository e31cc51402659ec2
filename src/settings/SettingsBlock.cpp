#include "settings/SettingsBlock.h"

namespace qz {

UpdaterSettings SettingsBlock::Parse(std::string_view block) {
  UpdaterSettings settings;
  block = block.substr(0, std::min(block.size(), kSize));
  block = block.substr(std::min(block.size(), kMarkerSize));
  block = block.substr(0, block.find('\0'));
  while (!block.empty()) {
    const std::string_view line = block.substr(0, block.find('\n'));
    block.remove_prefix(std::min(block.size(), line.size() + 1));
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || equals + 1 == line.size()) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string value(line.substr(equals + 1));
    if (key == "BaseUrl") settings.baseUrl = value;
    if (key == "PublicKey") settings.publicKeys.push_back(value);
  }
  return settings;
}

std::string SettingsBlock::Lines(const UpdaterSettings& settings) {
  std::string lines = "BaseUrl=" + settings.baseUrl + "\n";
  for (const std::string& key : settings.publicKeys) lines += "PublicKey=" + key + "\n";
  return lines;
}

}  // namespace qz

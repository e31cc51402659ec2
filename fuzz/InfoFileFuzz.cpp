// Reads any bytes as an information file and checks what the items must satisfy: the
// split at the first "=", the first and last look-ups, and that items written back the
// way QzUpdate.INF is written read back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "startup/InfoFile.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckSplit(const std::string& item) {
  auto pair = qz::InfoFile::SplitInfoItem(item);
  Check(pair.has_value() == (item.find('=') != std::string::npos));
  if (!pair) return;
  Check(pair->first.find('=') == std::string::npos);
  Check(pair->first + "=" + pair->second == item);
}

void CheckLookUps(const qz::InfoFile& file) {
  for (const auto& [key, value] : file.Items()) {
    auto first = file.First(key);
    auto last = file.Last(key);
    Check(first.has_value() && last.has_value());
  }
  if (!file.Items().empty()) {
    const auto& [key, value] = file.Items().front();
    Check(file.First(key) == value);
    Check(file.Last(file.Items().back().first) == file.Items().back().second);
  }
}

void CheckWrittenBack(const qz::InfoFile& file) {
  std::string written;
  std::vector<qz::InfoFile::Item> kept;
  for (const auto& item : file.Items()) {
    std::string text = item.first + "=" + item.second;
    if (text.find('"') != std::string::npos) continue;
    written += "\"" + text + "\"\r\n";
    kept.push_back(item);
  }
  Check(qz::InfoFile(written).Items() == kept);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  CheckSplit(content);
  const qz::InfoFile file(content);
  size_t equalsSigns = 0;
  for (char c : content) equalsSigns += c == '=';
  Check(file.Items().size() <= equalsSigns);
  for (const auto& [key, value] : file.Items()) CheckSplit(key + "=" + value);
  CheckLookUps(file);
  CheckWrittenBack(file);
  return 0;
}

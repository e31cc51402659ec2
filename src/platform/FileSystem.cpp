#include "platform/FileSystem.h"

#include <fstream>
#include <vector>

#include "platform/Error.h"

namespace qz {

void FileSystem::ReadInPieces(const std::string& path,
                              const std::function<void(const char*, size_t)>& consume) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error::Standard(Error::kFileNotFound);
  std::vector<char> buffer(1 << 16);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    if (in.gcount() > 0) consume(buffer.data(), static_cast<size_t>(in.gcount()));
  }
  if (!in.eof()) throw Error::Standard(Error::kPathFileAccess);
}

bool FileSystem::RollOver(const std::string& path, const std::string& older, uint64_t limit) {
  if (!FileExists(path) || FileSize(path) < limit) return false;
  ReplaceFile(path, older);
  return true;
}

}  // namespace qz

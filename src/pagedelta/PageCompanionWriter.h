#pragma once

#include <cstdint>
#include <string>

namespace qz {

class FileSystem;

// Writes the companion of a page file (PageIndex): its header, then every chunk deflated
// on its own, so an updater holding an older file fetches only the chunks it lacks.
class PageCompanionWriter {
 public:
  // The chunk size for a database served under `serverName`: its page size (4 KiB for the
  // Jet database, 8 KiB for the SQL Server file), so a changed page costs one chunk.
  static uint32_t ChunkSizeFor(const std::string& serverName);

  // The companion's name on the server beside `serverName` ("Data.TXT" -> "Data.PGZ").
  static std::string CompanionName(const std::string& serverName);

  // Writes the companion of `from` to `to`, replacing it; throws qz::Error when either
  // file fails.
  static void Write(FileSystem& files, const std::string& from, const std::string& to,
                    uint32_t chunkSize);
};

}  // namespace qz

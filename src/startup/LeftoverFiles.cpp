#include "startup/LeftoverFiles.h"

#include <optional>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFileName.h"

namespace qz {

void LeftoverFiles::DeleteIn(FileSystem& files, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    std::vector<std::string> names;
    try {
      names = files.FileNamesIn(folder);
    } catch (const Error&) {
      continue;  // A folder that does not exist yet holds nothing to clean.
    }
    for (const std::string& name : names) {
      if (!TemporaryFileName::IsOurs(name)) continue;
      const std::string path = folder + "/" + name;
      try {
        if (files.SecondsSinceChanged(path) < kAbandonedAfterSeconds) continue;
        // Deleting refuses a file that another process holds, as a writer does.
        files.DeleteFile(path);
      } catch (const Error&) {
        // Gone already, held or read-only: it stays, and a later start tries again.
      }
    }
  }
}

void LeftoverFiles::EmptyFolder(FileSystem& files, FileSystem& direct, const std::string& folder) {
  std::optional<Error> first;
  for (const std::string& name : files.FileNamesIn(folder)) {
    const std::string path = folder + "/" + name;
    if (TemporaryFileName::IsOurs(name)) {
      try {
        direct.DeleteFile(path);
      } catch (const Error&) {
        // Held by its writer, or gone already: it is that run's to finish or remove.
      }
      continue;
    }
    try {
      files.DeleteFile(path);
    } catch (const Error& error) {
      if (!first) first = error;
    }
  }
  if (first) throw *first;
}

}  // namespace qz

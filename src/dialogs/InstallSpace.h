#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qz {

class FileSystem;

// How much an installation adds to the disk of the host's folder at its fullest: the net
// growth of every file it writes (a file that replaces another frees the old one's space,
// so only what it is larger counts), plus the largest amount written at one time while the
// file it replaces still takes its room (each file is written beside its target first).
class InstallSpace {
 public:
  // `applicationPath` is the host's folder, with the staging folder QzUFiles in it.
  InstallSpace(FileSystem& files, std::string applicationPath);

  // A member of the archive as the extraction library lists it (`storedName` with its
  // folders, which the installation drops; a later member of the same name wins).
  void AddMember(const std::string& storedName, uint64_t size);

  // The bytes the whole installation needs: the members, the backups in QzUFiles/Before,
  // the copies in QzUFiles/After and the staged database files put in place.
  uint64_t Needed();

 private:
  // Size of the file at `relative` in the host's folder; 0 when there is none.
  uint64_t ExistingSize(const std::string& relative);
  // One file of `size` bytes written over `relative`, as the copies write them.
  void Write(uint64_t size, const std::string& relative);

  FileSystem& files_;
  std::string applicationPath_;
  // The members by their name folded to lower case, without folders.
  std::map<std::string, uint64_t> members_;
  uint64_t growth_ = 0;
  uint64_t largestInFlight_ = 0;
};

}  // namespace qz

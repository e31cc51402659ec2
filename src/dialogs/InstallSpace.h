#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace qz {

class FileSystem;

// How much an installation adds to the disk of the host's folder at its fullest. The
// backups come first; then every new file waits whole in the work folder while the files it
// replaces stay set aside until the swap is complete; once they are deleted, the net growth
// of the swapped files and the copies in QzUFiles/After remain. A copy over an existing
// file also needs room for the file it writes beside its target.
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
  // One new file of `size` bytes swapped in over `relative`.
  void Swap(uint64_t size, const std::string& relative);

  FileSystem& files_;
  std::string applicationPath_;
  // The members by their name folded to lower case, without folders.
  std::map<std::string, uint64_t> members_;
  uint64_t growth_ = 0;
  uint64_t largestInFlight_ = 0;
  // The new files of the swap at their whole size, and what they add once it is complete.
  uint64_t swapped_ = 0;
  uint64_t swapGrowth_ = 0;
};

}  // namespace qz

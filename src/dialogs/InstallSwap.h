#pragma once

#include <string>
#include <vector>

namespace qz {

class FileSystem;

// Moves the files of an installation from a work folder into the host's folder as one
// unit. Each file that a new one replaces is first renamed aside under one of the updater's
// temporary names (Windows lets a running program or a loaded library be renamed, never
// overwritten), then the new file takes its name; the set-aside files stay until the whole
// set is in. A journal beside the work folder, written before the first rename and removed
// last, lets a later start finish or undo a swap that a killed run left half done.
class InstallSwap {
 public:
  // Swaps into the host's folder `applicationPath` the files of the work folder
  // QzUFiles/Install, with the journal QzUFiles/InstallJournal.INF.
  InstallSwap(FileSystem& files, std::string applicationPath);

  // Where the files to swap in are put first.
  const std::string& WorkFolder() const { return workFolder_; }

  // Writes the journal, then swaps every file of the work folder in. On any failure puts
  // every replaced file back, removes every new one, empties the work folder, removes the
  // journal and throws the failure (qz::Error), so the host's folder is as it was.
  void Apply();

  // After Apply: deletes the set-aside files through `deleting`, empties the work folder and
  // removes the journal. A set-aside file that a running program still holds (the updater
  // that replaced itself, its library) stays for a later start, so `deleting` should not
  // wait for it to be let go. Never fails.
  void Finish(FileSystem& deleting);

  // Finishes a swap that the journal shows complete, or undoes one that it shows half
  // done, then empties the work folder. Without a journal, deletes the set-aside files of
  // earlier swaps that nothing holds any more (on Windows, the updater that replaced
  // itself) and empties the work folder. Throws
  // qz::Error when a file cannot be put back; the journal then stays for a later try.
  void Recover();

 private:
  struct Entry {
    std::string newName;  // in the work folder
    std::string target;   // in the host's folder
    std::string aside;    // the replaced file's name while set aside; empty for a new file
  };

  std::vector<Entry> Plan();
  std::string AsideName(const std::string& target, const std::vector<std::string>& taken);
  void WriteJournal(bool complete);
  // Reads the journal; false when there is none.
  bool ReadJournal(bool& complete);
  // Puts every replaced file back and removes every new one; throws the first failure
  // after trying them all.
  void Undo();
  void DeleteAside(FileSystem& deleting);
  // Deletes every set-aside file in the host's folder that no program holds.
  void DeleteFreedAside();
  void Clear();
  std::string Host(const std::string& name) const { return hostFolder_ + "/" + name; }

  FileSystem& files_;
  std::string hostFolder_;
  std::string workFolder_;
  std::string journal_;
  std::vector<Entry> entries_;
};

}  // namespace qz

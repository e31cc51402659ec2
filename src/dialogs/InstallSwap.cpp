#include "dialogs/InstallSwap.h"

#include <algorithm>
#include <optional>
#include <set>
#include <utility>

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/TemporaryFileName.h"

namespace qz {
namespace {

constexpr char kHeader[] = "[QzUpdate install]";
constexpr char kSwapping[] = "State=Swapping";
constexpr char kComplete[] = "State=Complete";
constexpr char kFileKey[] = "File=";
// Member names never hold control characters, so a tab separates the three names.
constexpr char kSeparator = '\t';
// A journal lists one line per file of an archive; anything larger is not ours.
constexpr size_t kMaxJournalBytes = 16 * 1024 * 1024;

std::string Folded(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// The name under which `name` exists among `names`, exact case first, as the extraction
// library matches it, so a member "vq.exe" replaces "Vq.exe" and keeps that spelling.
std::optional<std::string> ExistingName(const std::vector<std::string>& names,
                                        const std::string& name) {
  if (std::find(names.begin(), names.end(), name) != names.end()) return name;
  const std::string folded = Folded(name);
  for (const std::string& existing : names) {
    if (Folded(existing) == folded) return existing;
  }
  return std::nullopt;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

constexpr char kAsideTag[] = "aside";

// True for ".<name>.aside<n>.qztmp", a replaced file that a swap set aside.
bool IsAsideName(const std::string& name) {
  if (!TemporaryFileName::IsOurs(name)) return false;
  const size_t suffix = name.rfind('.');
  const size_t tag =
      suffix == std::string::npos || suffix == 0 ? std::string::npos : name.rfind('.', suffix - 1);
  return tag != std::string::npos && name.compare(tag + 1, sizeof kAsideTag - 1, kAsideTag) == 0;
}

Error Malformed(const std::string& journal) {
  return Error(Error::kPathFileAccess, "The install journal " + journal + " cannot be read.");
}

}  // namespace

InstallSwap::InstallSwap(FileSystem& files, std::string applicationPath)
    : files_(files),
      hostFolder_(std::move(applicationPath)),
      workFolder_(hostFolder_ + "/QzUFiles/Install"),
      journal_(hostFolder_ + "/QzUFiles/InstallJournal.INF") {}

std::vector<InstallSwap::Entry> InstallSwap::Plan() {
  const std::vector<std::string> existing = files_.FileNamesIn(hostFolder_);
  std::vector<std::string> taken = existing;
  std::vector<Entry> entries;
  for (const std::string& name : files_.FileNamesIn(workFolder_)) {
    Entry entry{name, name, {}};
    if (std::optional<std::string> replaced = ExistingName(existing, name)) {
      entry.target = *replaced;
      entry.aside = AsideName(*replaced, taken);
      taken.push_back(entry.aside);
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string InstallSwap::AsideName(const std::string& target,
                                   const std::vector<std::string>& taken) {
  // An earlier run's set-aside copy that a program still holds keeps its name.
  for (unsigned number = 1;; ++number) {
    std::string name = TemporaryFileName::For(target, kAsideTag + std::to_string(number));
    if (!ExistingName(taken, name)) return name;
  }
}

void InstallSwap::WriteJournal(bool complete) {
  std::string text = std::string(kHeader) + "\r\n" + (complete ? kComplete : kSwapping) + "\r\n";
  for (const Entry& entry : entries_) {
    text +=
        kFileKey + entry.newName + kSeparator + entry.target + kSeparator + entry.aside + "\r\n";
  }
  // Written beside the journal and renamed over it once flushed, so it is never torn.
  files_.WriteTextFile(journal_, text);
}

bool InstallSwap::ReadJournal(bool& complete) {
  if (!files_.FileExists(journal_)) return false;
  const std::vector<std::string> lines =
      Split(files_.ReadTextFile(journal_, kMaxJournalBytes), '\n');
  std::vector<Entry> entries;
  std::optional<bool> state;
  for (size_t index = 0; index < lines.size(); ++index) {
    std::string line = lines[index];
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (index == 0 && line != kHeader) throw Malformed(journal_);
    if (line == kSwapping || line == kComplete) state = line == kComplete;
    if (!line.starts_with(kFileKey)) continue;
    std::vector<std::string> names = Split(line.substr(sizeof kFileKey - 1), kSeparator);
    if (names.size() != 3 || names[0].empty() || names[1].empty()) throw Malformed(journal_);
    entries.push_back({names[0], names[1], names[2]});
  }
  if (!state) throw Malformed(journal_);
  complete = *state;
  entries_ = std::move(entries);
  return true;
}

void InstallSwap::Apply() {
  entries_ = Plan();
  WriteJournal(false);
  try {
    for (const Entry& entry : entries_) {
      if (!entry.aside.empty()) files_.RenameFile(Host(entry.target), Host(entry.aside));
      files_.RenameFile(workFolder_ + "/" + entry.newName, Host(entry.target));
    }
    WriteJournal(true);
  } catch (const Error&) {
    try {
      Undo();
      Clear();
    } catch (const Error&) {
      // What could not be put back stays in the journal, for the next start to finish.
    }
    throw;
  }
}

void InstallSwap::Undo() {
  std::optional<Error> first;
  for (auto entry = entries_.rbegin(); entry != entries_.rend(); ++entry) {
    const std::string target = Host(entry->target);
    const std::string aside = Host(entry->aside);
    try {
      // A target beside its set-aside original, or one that did not exist before, is new.
      const bool replaced = !entry->aside.empty() && files_.FileExists(aside);
      if ((replaced || entry->aside.empty()) && files_.FileExists(target)) {
        files_.DeleteFile(target);
      }
      if (replaced) files_.RenameFile(aside, target);
    } catch (const Error& error) {
      if (!first) first = error;
    }
  }
  if (first) throw *first;
}

void InstallSwap::DeleteAside(FileSystem& deleting) {
  for (const Entry& entry : entries_) {
    if (entry.aside.empty()) continue;
    try {
      if (deleting.FileExists(Host(entry.aside))) deleting.DeleteFile(Host(entry.aside));
    } catch (const Error&) {
      // Held by a running program: the start-up clean-up deletes it once it is free.
    }
  }
}

void InstallSwap::DeleteFreedAside() {
  std::vector<std::string> names;
  try {
    names = files_.FileNamesIn(hostFolder_);
  } catch (const Error&) {
    return;
  }
  for (const std::string& name : names) {
    try {
      if (IsAsideName(name)) files_.DeleteFile(Host(name));
    } catch (const Error&) {
      // Still held: a later start tries again.
    }
  }
}

void InstallSwap::Clear() {
  try {
    files_.DeleteFilesIn(workFolder_);
  } catch (const Error&) {
    // A missing work folder holds nothing; a file left there is cleared by the next swap.
  }
  try {
    if (files_.FileExists(journal_)) files_.DeleteFile(journal_);
  } catch (const Error&) {
    // A journal that shows a complete swap only finishes it again.
  }
}

void InstallSwap::Finish(FileSystem& deleting) {
  DeleteAside(deleting);
  Clear();
}

void InstallSwap::Recover() {
  bool complete = false;
  if (!ReadJournal(complete)) {
    DeleteFreedAside();
    // Files that a killed run extracted and never swapped in are of no use.
    try {
      files_.DeleteFilesIn(workFolder_);
    } catch (const Error&) {
    }
    return;
  }
  if (complete) {
    Finish(files_);
    return;
  }
  Undo();
  Clear();
}

}  // namespace qz

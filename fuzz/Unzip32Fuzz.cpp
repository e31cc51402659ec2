// Runs the extraction library over any bytes as an archive, three times as a caller would:
// the test pass, flat extraction and extraction with folders, each into one target folder
// inside a private work folder. Afterwards nothing may exist outside the target folder,
// nothing inside it may be a link, device, pipe or socket, no temporary file may be
// left, and the test pass must have written nothing at all.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "unzip32.h"

extern "C" int32_t Wiz_SingleEntryUnzip(int32_t includeCount, UnzipNameList* include,
                                        int32_t excludeCount, UnzipNameList* exclude,
                                        UnzipOptions* options, UnzipCallbacks* callbacks);

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

int32_t Print(const char*, int32_t) {
  return 0;
}

int32_t Replace(const char*) {
  return 102;
}

// One password is offered, so encrypted members are also read, then no more.
int32_t Password(char* buffer, int32_t size, const char*, const char*) {
  static unsigned asked = 0;
  if (size < 3 || ++asked % 2 == 0) return 1;
  buffer[0] = 'p';
  buffer[1] = 'w';
  buffer[2] = '\0';
  return 0;
}

int32_t Service(const char*, uint32_t) {
  return 0;
}

// The work folder: "archive.zip" and the target folder "out", nothing else. A tmpfs
// keeps the members' flushes cheap.
const std::string& WorkFolder() {
  static const std::string folder = [] {
    const char* shm = "/dev/shm";
    std::string pattern =
        std::string(access(shm, W_OK) == 0 ? shm : "/tmp") + "/qzunzip-fuzz-XXXXXX";
    Check(mkdtemp(pattern.data()) != nullptr);
    return pattern;
  }();
  return folder;
}

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return remove(path);
}

void RemoveTree(const std::string& path) {
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

std::string NameOf(const char* path) {
  std::string text = path;
  return text.substr(text.rfind('/') + 1);
}

int CheckEntry(const char* path, const struct stat* info, int type, struct FTW*) {
  Check(type != FTW_SL && type != FTW_SLN);
  Check(S_ISREG(info->st_mode) || S_ISDIR(info->st_mode));
  std::string name = NameOf(path);
  Check(name.rfind(".qzunzip-", 0) != 0 || name.size() < 13 ||
        name.compare(name.size() - 4, 4, ".tmp") != 0);
  return 0;
}

// Only the archive and the target folder lie in the work folder.
void CheckWorkFolder() {
  DIR* dir = opendir(WorkFolder().c_str());
  Check(dir != nullptr);
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    Check(name == "." || name == ".." || name == "archive.zip" || name == "out");
  }
  closedir(dir);
}

bool IsEmptyFolder(const std::string& path) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) return true;
  int entries = 0;
  while (readdir(dir) != nullptr) ++entries;
  closedir(dir);
  return entries == 2;
}

void RunOnce(const std::string& archive, const std::string& target, int32_t test, int32_t folders) {
  UnzipOptions options = {};
  options.MessageLevel = 0;
  options.TestZip = test;
  options.HonorDirectories = folders;
  options.OverWriteFiles = 1;
  options.CaseSensitive = 1;
  options.ZipFileName = archive.c_str();
  options.ExtractDir = target.c_str();
  UnzipCallbacks callbacks = {};
  callbacks.Print = Print;
  callbacks.Replace = Replace;
  callbacks.Password = Password;
  callbacks.Service = Service;
  UnzipNameList include = {};
  UnzipNameList exclude = {};
  int32_t result = Wiz_SingleEntryUnzip(0, &include, 0, &exclude, &options, &callbacks);
  Check(result >= 0 && result <= kUnzipBadPassword);
  CheckWorkFolder();
  nftw(target.c_str(), CheckEntry, 16, FTW_PHYS);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string archive = WorkFolder() + "/archive.zip";
  const std::string target = WorkFolder() + "/out";
  int fd = open(archive.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  Check(fd >= 0);
  Check(write(fd, data, size) == static_cast<ssize_t>(size));
  close(fd);

  RemoveTree(target);
  RunOnce(archive, target, 1, 0);
  Check(IsEmptyFolder(target));
  RunOnce(archive, target, 0, 0);
  RemoveTree(target);
  RunOnce(archive, target, 0, 1);
  RemoveTree(target);
  return 0;
}

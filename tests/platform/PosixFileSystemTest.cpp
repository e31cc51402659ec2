#include "platform/posix/PosixFileSystem.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "support/ChildProcess.h"
#include "support/FileHolder.h"
#include "support/TempDir.h"

namespace qz {
namespace {

using test::TempDir;

int32_t NumberOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const Error& error) {
    return error.Number();
  }
  return 0;
}

void MakeReadOnly(const std::string& path) {
  ASSERT_EQ(chmod(path.c_str(), 0444), 0);
}

std::string AllByteValues() {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  return bytes + "\r\nline two\r\n";
}

enum class LockKind { kFlock, kRecordLock, kOpenFileDescriptionLock };

// A child process that holds a lock of `kind` on `path` until it is finished.
std::unique_ptr<test::ChildProcess> HoldLock(const std::string& path, LockKind kind) {
  return std::make_unique<test::ChildProcess>([&path, kind]() -> char {
    int fd = open(path.c_str(), O_RDWR);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    switch (kind) {
      case LockKind::kFlock:
        return flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'L' : 'x';
      case LockKind::kRecordLock:
        return fcntl(fd, F_SETLK, &lock) == 0 ? 'L' : 'x';
      case LockKind::kOpenFileDescriptionLock:
        return fcntl(fd, F_OFD_SETLK, &lock) == 0 ? 'L' : 'x';
    }
    return 'x';
  });
}

class PosixFileSystemTest : public ::testing::Test {
 protected:
  TempDir dir;
  PosixFileSystem files;
};

TEST_F(PosixFileSystemTest, FileExistsSeesOrdinaryFilesOnlyWhateverTheCase) {
  dir.Write("QzUFiles/VQ.Zip", "zip");
  ASSERT_EQ(symlink((dir / "QzUFiles/VQ.Zip").c_str(), (dir / "Link.Zip").c_str()), 0);
  ASSERT_EQ(symlink((dir / "Nowhere").c_str(), (dir / "Dangling.Zip").c_str()), 0);
  EXPECT_TRUE(files.FileExists(dir / "qzufiles/Vq.Zip"));
  EXPECT_TRUE(files.FileExists(dir / "link.zip"));
  EXPECT_FALSE(files.FileExists(dir / "QzUFiles"));
  EXPECT_FALSE(files.FileExists(dir / "Dangling.Zip"));
  EXPECT_FALSE(files.FileExists(dir / "QzUFiles/Data.Mdb"));
  EXPECT_FALSE(files.FileExists(dir / "Missing/Data.Mdb"));
}

TEST_F(PosixFileSystemTest, CreateFolderTakesTheNameAsWrittenAndReusesAnExistingOne) {
  files.CreateFolder(dir / "QzUFiles");
  dir.Write("QzUFiles/Keep.txt", "kept");
  files.CreateFolder(dir / "QZUFILES");
  EXPECT_EQ(dir.Read("QzUFiles/Keep.txt"), "kept");
  EXPECT_FALSE(dir.Exists("QZUFILES"));

  dir.Write("Plain", "");
  EXPECT_EQ(NumberOf([&] { files.CreateFolder(dir / "plain"); }), 75);
  EXPECT_EQ(NumberOf([&] { files.CreateFolder(dir / "Missing/QzUFiles"); }), 76);
}

TEST_F(PosixFileSystemTest, CopyFileCopiesEveryByteAndReplacesTheExistingTarget) {
  std::string big(300'000, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7919 % 251);
  dir.Write("Vq.exe", big);
  ASSERT_EQ(chmod((dir / "Vq.exe").c_str(), 0755), 0);
  dir.Write("QzUFiles/Before/Vq.Exe", "old");

  files.CopyFile(dir / "vq.EXE", dir / "qzufiles/before/VQ.exe");

  EXPECT_EQ(dir.Read("QzUFiles/Before/Vq.Exe"), big);
  EXPECT_EQ(dir.FilesIn("QzUFiles/Before"), "Vq.Exe");
  struct stat info;
  ASSERT_EQ(stat((dir / "QzUFiles/Before/Vq.Exe").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0100, 0100u);
}

TEST_F(PosixFileSystemTest, CopyFileGivesANewTargetTheNameAsWritten) {
  dir.Write("Data.Mdb", AllByteValues());
  files.CopyFile(dir / "DATA.MDB", dir / "After.Mdb");
  EXPECT_EQ(dir.Read("After.Mdb"), AllByteValues());
}

TEST_F(PosixFileSystemTest, FailedCopyLeavesTheTargetAsItWas) {
  dir.Write("Before/Data.Mdb", "old");
  dir.Write("Data.Mdb", "new");
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "Missing.Mdb", dir / "Before/Data.Mdb"); }), 53);
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "Gone/Data.Mdb", dir / "Before/Data.Mdb"); }), 76);
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "Data.Mdb", dir / "Gone/Data.Mdb"); }), 76);
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "Before", dir / "Before/Data.Mdb"); }), 75);
  MakeReadOnly(dir / "Before/Data.Mdb");
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "Data.Mdb", dir / "Before/Data.Mdb"); }), 75);
  EXPECT_EQ(dir.Read("Before/Data.Mdb"), "old");
  EXPECT_EQ(dir.FilesIn("Before"), "Data.Mdb");
}

// A process number that no process has now: a child's, once it has ended.
pid_t EndedProcessNumber() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

// What is checked on the way is what stays: a refused copy replaces nothing and leaves no
// file behind, and a private copy is for this user's eyes and hands only. The copy a run
// ended during the install left behind goes; a running process's stays.
TEST_F(PosixFileSystemTest, CheckedAndPrivateCopiesKeepOnlyWhatPassed) {
  dir.Write("QzUFiles/Data.Mdb", AllByteValues());
  dir.Write("Data.Mdb", "old");
  std::string seen;
  auto see = [&](const char* data, size_t size) { seen.append(data, size); };
  auto refuse = [] { throw Error(5, "refused"); };
  EXPECT_EQ(NumberOf([&] {
              files.CopyFileChecked(dir / "QzUFiles/Data.Mdb", dir / "Data.Mdb", see, refuse);
            }),
            5);
  EXPECT_EQ(seen, AllByteValues());
  EXPECT_EQ(dir.Read("Data.Mdb"), "old");
  EXPECT_EQ(dir.FilesIn(), "Data.Mdb");

  const TempDir temporary;
  struct RestoreTmpdir {
    ~RestoreTmpdir() { earlier ? setenv("TMPDIR", earlier->c_str(), 1) : unsetenv("TMPDIR"); }
    std::optional<std::string> earlier;
  } restore{getenv("TMPDIR") ? std::optional<std::string>(getenv("TMPDIR")) : std::nullopt};
  ASSERT_EQ(setenv("TMPDIR", temporary.Path().c_str(), 1), 0);
  const std::string running = "qzupdate-" + std::to_string(getpid()) + "-aB12.x";
  const std::string orphan = "qzupdate-" + std::to_string(EndedProcessNumber()) + "-Zq9xYw";
  temporary.Write(orphan, "orphan");
  temporary.Write(running, "in use");
  temporary.Write("qzupdate-notes.txt", "not a copy");
  const std::string copy = files.CopyToPrivateFile(dir / "QzUFiles/Data.Mdb", nullptr);
  struct stat info;
  ASSERT_EQ(stat(copy.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(copy.rfind(temporary.Path() + "/", 0), 0u) << copy;
  const std::string name = copy.substr(temporary.Path().size() + 1);
  EXPECT_EQ(temporary.Read(name), AllByteValues());
  EXPECT_EQ(NumberOf([&] {
              files.CopyToPrivateFile(dir / "QzUFiles/Data.Mdb",
                                      [&](const char*, size_t) { refuse(); });
            }),
            5);
  EXPECT_FALSE(temporary.Exists(orphan));
  EXPECT_EQ(temporary.Read(running), "in use");
  EXPECT_EQ(temporary.Read("qzupdate-notes.txt"), "not a copy");
  EXPECT_EQ(name.rfind("qzupdate-" + std::to_string(getpid()) + "-", 0), 0u) << name;
  EXPECT_EQ(temporary.FilesIn().size(), (running + " " + name + " qzupdate-notes.txt").size());
}

TEST_F(PosixFileSystemTest, CopyOntoAHeldFileIsRefused) {
  dir.Write("Data.Mdb", "new");
  dir.Write("Installed.Mdb", "in use");
  auto holder = HoldLock(dir / "Installed.Mdb", LockKind::kRecordLock);
  ASSERT_EQ(holder->Reported(), 'L');
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "Data.Mdb", dir / "Installed.Mdb"); }), 70);
  EXPECT_EQ(dir.Read("Installed.Mdb"), "in use");
}

TEST_F(PosixFileSystemTest, CopyIntoAFolderWithoutWriteRightsIsPermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root may write anywhere";
  dir.Write("Data.Mdb", "new");
  dir.Write("Locked/x", "");
  ASSERT_EQ(chmod((dir / "Locked").c_str(), 0555), 0);
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "Data.Mdb", dir / "Locked/Data.Mdb"); }), 70);
}

TEST_F(PosixFileSystemTest, RenameFileMovesTheContents) {
  dir.Write("QzUFiles/Version.INF", "online");
  files.RenameFile(dir / "qzufiles/version.inf", dir / "QzUFiles/RemindedVersion.INF");
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "RemindedVersion.INF");
  EXPECT_EQ(dir.Read("QzUFiles/RemindedVersion.INF"), "online");
}

TEST_F(PosixFileSystemTest, RenameFileRefusesAnExistingTargetAndAMissingSource) {
  dir.Write("Version.INF", "online");
  dir.Write("RemindedVersion.INF", "reminded");
  MakeReadOnly(dir / "RemindedVersion.INF");
  EXPECT_EQ(NumberOf([&] { files.RenameFile(dir / "Version.INF", dir / "remindedversion.inf"); }),
            58);
  EXPECT_EQ(dir.Read("Version.INF"), "online");
  EXPECT_EQ(dir.Read("RemindedVersion.INF"), "reminded");
  EXPECT_EQ(NumberOf([&] { files.RenameFile(dir / "Gone.INF", dir / "New.INF"); }), 53);
  EXPECT_EQ(NumberOf([&] { files.RenameFile(dir / "Version.INF", dir / "Gone/New.INF"); }), 76);
  // What Windows would not let go of is not renamed either: read-only, or held.
  EXPECT_EQ(NumberOf([&] { files.RenameFile(dir / "RemindedVersion.INF", dir / "New.INF"); }), 75);
  test::FileHolder holder(dir / "Version.INF");
  ASSERT_TRUE(holder.Holding());
  EXPECT_EQ(NumberOf([&] { files.RenameFile(dir / "Version.INF", dir / "New.INF"); }), 70);
  EXPECT_EQ(dir.FilesIn(), "RemindedVersion.INF Version.INF");
}

TEST_F(PosixFileSystemTest, RenameFileMayChangeOnlyTheCase) {
  dir.Write("version.inf", "online");
  files.RenameFile(dir / "version.inf", dir / "Version.INF");
  EXPECT_EQ(dir.FilesIn(), "Version.INF");
}

TEST_F(PosixFileSystemTest, DeleteFileFindsTheFileWhateverItsCase) {
  dir.Write("Config.ldb", "");
  files.DeleteFile(dir / "CONFIG.LDB");
  EXPECT_EQ(dir.FilesIn(), "");
  EXPECT_EQ(NumberOf([&] { files.DeleteFile(dir / "Config.ldb"); }), 53);
  EXPECT_EQ(NumberOf([&] { files.DeleteFile(dir / "Gone/Config.ldb"); }), 76);
  dir.Write("Folder/x", "");
  EXPECT_EQ(NumberOf([&] { files.DeleteFile(dir / "Folder"); }), 53);
}

TEST_F(PosixFileSystemTest, DeleteFileRefusesAReadOnlyFile) {
  dir.Write("Config.ldb", "lock");
  MakeReadOnly(dir / "Config.ldb");
  EXPECT_EQ(NumberOf([&] { files.DeleteFile(dir / "Config.ldb"); }), 75);
  EXPECT_TRUE(dir.Exists("Config.ldb"));
}

class HeldFileTest : public PosixFileSystemTest, public ::testing::WithParamInterface<LockKind> {};

TEST_P(HeldFileTest, CannotBeDeletedUntilTheHolderEnds) {
  dir.Write("Config.ldb", "lock");
  auto holder = HoldLock(dir / "Config.ldb", GetParam());
  ASSERT_EQ(holder->Reported(), 'L');
  try {
    files.DeleteFile(dir / "config.ldb");
    FAIL() << "a held file was deleted";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), 70);
    EXPECT_EQ(error.Description(), "Permission denied");
  }
  EXPECT_TRUE(dir.Exists("Config.ldb"));

  holder->Finish();
  files.DeleteFile(dir / "config.ldb");
  EXPECT_FALSE(dir.Exists("Config.ldb"));
}

INSTANTIATE_TEST_SUITE_P(EveryLockKind, HeldFileTest,
                         ::testing::Values(LockKind::kFlock, LockKind::kRecordLock,
                                           LockKind::kOpenFileDescriptionLock));

TEST_F(PosixFileSystemTest, DeleteFilesInLeavesSubfoldersAndTheirContents) {
  dir.Write("QzUFiles/VQ.Zip", "zip");
  dir.Write("QzUFiles/Data.Mdb", "mdb");
  dir.Write("QzUFiles/Version.INF", "inf");
  dir.Write("QzUFiles/After/Vq.Exe", "new");
  dir.Write("QzUFiles/Before/Vq.Exe", "old");
  files.DeleteFilesIn(dir / "qzufiles");
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "");
  EXPECT_EQ(dir.Read("QzUFiles/After/Vq.Exe"), "new");
  EXPECT_EQ(dir.Read("QzUFiles/Before/Vq.Exe"), "old");
  files.DeleteFilesIn(dir / "QzUFiles");
}

TEST_F(PosixFileSystemTest, DeleteFilesInGoesOnPastAFailureAndReportsIt) {
  dir.Write("QzUFiles/A.txt", "");
  dir.Write("QzUFiles/B.txt", "");
  dir.Write("QzUFiles/C.txt", "");
  MakeReadOnly(dir / "QzUFiles/B.txt");
  EXPECT_EQ(NumberOf([&] { files.DeleteFilesIn(dir / "QzUFiles"); }), 75);
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "B.txt");
  EXPECT_EQ(NumberOf([&] { files.DeleteFilesIn(dir / "Missing"); }), 76);
}

TEST_F(PosixFileSystemTest, ReplaceFileTakesTheTargetsPlaceAndSpelling) {
  dir.Write("QzUFiles/.Data.Mdb.staged.qztmp", "new");
  dir.Write("QzUFiles/data.mdb", "old");
  dir.Write("QzUFiles/Other.txt", "");
  EXPECT_EQ(files.FileNamesIn(dir / "qzufiles"),
            (std::vector<std::string>{".Data.Mdb.staged.qztmp", "Other.txt", "data.mdb"}));
  files.ReplaceFile(dir / "QzUFiles/.Data.Mdb.staged.qztmp", dir / "QzUFiles/Data.Mdb");
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "Other.txt data.mdb");
  EXPECT_EQ(dir.Read("QzUFiles/data.mdb"), "new");

  dir.Write("QzUFiles/.VQ.Zip.staged.qztmp", "archive");
  files.ReplaceFile(dir / "QzUFiles/.VQ.Zip.staged.qztmp", dir / "QzUFiles/VQ.Zip");
  EXPECT_EQ(dir.Read("QzUFiles/VQ.Zip"), "archive");
  dir.Write("QzUFiles/.Other.txt.staged.qztmp", "");
  MakeReadOnly(dir / "QzUFiles/Other.txt");
  EXPECT_EQ(NumberOf([&] {
              files.ReplaceFile(dir / "QzUFiles/.Other.txt.staged.qztmp",
                                dir / "QzUFiles/Other.txt");
            }),
            75);
  EXPECT_EQ(NumberOf([&] { files.ReplaceFile(dir / "QzUFiles/Gone", dir / "QzUFiles/VQ.Zip"); }),
            53);
  EXPECT_EQ(NumberOf([&] { files.FileNamesIn(dir / "Missing"); }), 76);
}

// Two runs that find the log full at once: the one that holds its lock renames it, the
// other leaves it alone.
TEST_F(PosixFileSystemTest, RollOverRenamesOnlyAFullFileNoOtherProcessIsRenaming) {
  dir.Write("QzUpdate.log", "12345");
  dir.Write("QzUpdate.1.log", "older");
  EXPECT_FALSE(files.RollOver(dir / "Missing.log", dir / "QzUpdate.1.log", 1));
  EXPECT_FALSE(files.RollOver(dir / "QzUpdate.log", dir / "QzUpdate.1.log", 6));
  auto holder = HoldLock(dir / "QzUpdate.log", LockKind::kFlock);
  ASSERT_EQ(holder->Reported(), 'L');
  EXPECT_FALSE(files.RollOver(dir / "QzUpdate.log", dir / "QzUpdate.1.log", 5));
  EXPECT_EQ(dir.Read("QzUpdate.1.log"), "older");
  holder->Finish();
  EXPECT_TRUE(files.RollOver(dir / "qzupdate.LOG", dir / "QzUpdate.1.log", 5));
  EXPECT_EQ(dir.Read("QzUpdate.1.log"), "12345");
  EXPECT_FALSE(dir.Exists("QzUpdate.log"));
}

TEST_F(PosixFileSystemTest, TextFilesKeepEveryByte) {
  files.WriteTextFile(dir / "QzUpdate.INF", AllByteValues());
  EXPECT_EQ(files.ReadTextFile(dir / "qzupdate.inf", 1 << 20), AllByteValues());
  files.WriteTextFile(dir / "QZUPDATE.INF", "short\r\n");
  EXPECT_EQ(dir.FilesIn(), "QzUpdate.INF");
  EXPECT_EQ(dir.Read("QzUpdate.INF"), "short\r\n");
}

TEST_F(PosixFileSystemTest, TextFileFailures) {
  EXPECT_EQ(NumberOf([&] { files.ReadTextFile(dir / "Version.INF", 100); }), 53);
  dir.Write("Big.INF", std::string(101, 'x'));
  EXPECT_EQ(NumberOf([&] { files.ReadTextFile(dir / "Big.INF", 100); }), 7);
  EXPECT_EQ(files.ReadTextFile(dir / "Big.INF", 101).size(), 101u);
  EXPECT_EQ(NumberOf([&] { files.WriteTextFile(dir / "Gone/QzUpdate.INF", "x"); }), 76);
  dir.Write("QzUpdate.INF", "old");
  MakeReadOnly(dir / "QzUpdate.INF");
  EXPECT_EQ(NumberOf([&] { files.WriteTextFile(dir / "QzUpdate.INF", "new"); }), 75);
  EXPECT_EQ(dir.Read("QzUpdate.INF"), "old");
  EXPECT_EQ(dir.FilesIn(), "Big.INF QzUpdate.INF");
}

TEST_F(PosixFileSystemTest, ExecutableFolderHoldsThisTestProgram) {
  std::string folder = files.ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '/');
  EXPECT_TRUE(files.FileExists(folder + "/posix_platform_tests"));
}

}  // namespace
}  // namespace qz

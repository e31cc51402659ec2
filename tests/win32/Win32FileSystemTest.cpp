#include "platform/win32/Win32FileSystem.h"

#include <gtest/gtest.h>
#include <windows.h>
// <windows.h> renames these file calls to their ANSI forms.
#undef CopyFile
#undef DeleteFile
#undef ReplaceFile

#include <filesystem>
#include <functional>
#include <vector>

#include "platform/Error.h"
#include "platform/win32/Win32ProgramPath.h"
#include "support/TempDir.h"
#include "support/win32/HolderProcess.h"

namespace qz {
namespace {

using test::HolderProcess;
using test::TempDir;

int32_t NumberOf(const std::function<void()>& step) {
  try {
    step();
    return 0;
  } catch (const Error& error) {
    return error.Number();
  }
}

void MakeReadOnly(const std::string& path) {
  std::filesystem::permissions(path, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
}

constexpr size_t kLimit = 1 << 20;

class Win32FileSystemTest : public ::testing::Test {
 protected:
  TempDir dir;
  Win32FileSystem files;
};

TEST_F(Win32FileSystemTest, NamesMatchWithoutCaseAndNewFilesTakeTheNameAsWritten) {
  dir.Write("QzUFiles/VQ.Zip", "archive");
  dir.Write("QzUFiles/After/Vq.exe", "program");
  EXPECT_TRUE(files.FileExists(dir / "qzufiles\\vq.zip"));
  EXPECT_FALSE(files.FileExists(dir / "QzUFiles/After"));
  EXPECT_FALSE(files.FileExists(dir / "QzUFiles/Data.Mdb"));

  files.CopyFile(dir / "QZUFILES/vq.ZIP", dir / "QzUFiles/Copy.Zip");
  EXPECT_EQ(dir.Read("QzUFiles/Copy.Zip"), "archive");
  files.RenameFile(dir / "QzUFiles/Copy.Zip", dir / "QzUFiles/COPY.ZIP");
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "COPY.ZIP VQ.Zip");
  EXPECT_EQ(NumberOf([&] { files.RenameFile(dir / "QzUFiles/COPY.ZIP", dir / "QzUFiles/vq.zip"); }),
            Error::kFileExists);

  files.WriteTextFile(dir / "QzUpdate.INF", "\"[Version Information]\"\r\n");
  EXPECT_EQ(files.ReadTextFile(dir / "qzupdate.inf", kLimit), "\"[Version Information]\"\r\n");
  EXPECT_EQ(files.FileSize(dir / "QZUPDATE.INF"), 25u);
  SetFileAttributesW(std::filesystem::path(dir / "QzUpdate.INF").c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_FALSE(files.FileExists(dir / "QzUpdate.INF"));
  EXPECT_EQ(files.FileNamesIn(dir / "QzUFiles"), (std::vector<std::string>{"COPY.ZIP", "VQ.Zip"}));
  // Our own temporaries count even where the file system shows them as hidden, so the
  // cleanup after a failed download or a killed run finds them.
  dir.Write("QzUFiles/.VQ.Zip.staged.qztmp", "part");
  SetFileAttributesW(std::filesystem::path(dir / "QzUFiles/.VQ.Zip.staged.qztmp").c_str(),
                     FILE_ATTRIBUTE_HIDDEN);
  EXPECT_TRUE(files.FileExists(dir / "QzUFiles/.VQ.Zip.staged.qztmp"));
  files.DeleteFilesIn(dir / "QzUFiles");
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "");
  // 8-bit names are in the ANSI code page (Windows-1252 under Wine's default locale).
  files.WriteTextFile(dir /
                          "Gr\xFC\xDF"
                          "e.INF",
                      "x");
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(dir.Path()) / L"Gr\u00FC\u00DFe.INF"));
}

TEST_F(Win32FileSystemTest, FailuresCarryTheClassicNumbers) {
  dir.Write("QzUFiles/Data.Mdb", "data");
  dir.Write("QzUFiles/Before/Vq.exe", "old");
  EXPECT_EQ(NumberOf([&] { files.ReadTextFile(dir / "Version.INF", kLimit); }),
            Error::kFileNotFound);
  EXPECT_EQ(NumberOf([&] { files.ReadTextFile(dir / "Gone/Version.INF", kLimit); }),
            Error::kPathNotFound);
  EXPECT_EQ(NumberOf([&] { files.ReadTextFile(dir / "QzUFiles", kLimit); }),
            Error::kPathFileAccess);
  EXPECT_EQ(NumberOf([&] { files.ReadTextFile(dir / "QzUFiles/Data.Mdb", 3); }),
            Error::kOutOfMemory);
  EXPECT_EQ(NumberOf([&] { files.DeleteFile(dir / "QzUFiles/Before"); }), Error::kFileNotFound);
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "Vq.exe", dir / "QzUFiles/Vq.exe"); }),
            Error::kFileNotFound);
  EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "QzUFiles/Data.Mdb", dir / "Gone/Data.Mdb"); }),
            Error::kPathNotFound);
  EXPECT_EQ(NumberOf([&] { files.CreateFolder(dir / "QzUFiles/Data.Mdb"); }),
            Error::kPathFileAccess);
  EXPECT_EQ(NumberOf([&] { files.CreateFolder(dir / "QzUFiles/Before"); }), 0);
  EXPECT_EQ(NumberOf([&] { files.DeleteFilesIn(dir / "Gone"); }), Error::kPathNotFound);

  MakeReadOnly(dir / "QzUFiles/Data.Mdb");
  EXPECT_EQ(NumberOf([&] { files.DeleteFile(dir / "QzUFiles/Data.Mdb"); }), Error::kPathFileAccess);
  EXPECT_EQ(NumberOf([&] { files.WriteTextFile(dir / "QzUFiles/Data.Mdb", "new"); }),
            Error::kPathFileAccess);
  EXPECT_EQ(dir.Read("QzUFiles/Data.Mdb"), "data");
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "Data.Mdb");
}

// A file that another process has open without delete sharing cannot be deleted or
// replaced; the other files of the folder still go, and nothing is left half-written.
TEST_F(Win32FileSystemTest, AFileHeldByAnotherProcessStaysWholeAndFailsWith70) {
  dir.Write("QzUFiles/Config.ldb", "lock");
  dir.Write("QzUFiles/Data.Mdb", "data");
  dir.Write("QzUFiles/VQ.Zip", "zip");
  dir.Write("QzUFiles/After/Vq.exe", "kept");
  dir.Write("New.Mdb", "new data");
  {
    HolderProcess holder("file", dir / "QzUFiles/Data.Mdb");
    ASSERT_EQ(holder.Reported(), "holding");
    EXPECT_EQ(NumberOf([&] { files.DeleteFile(dir / "QzUFiles/Data.Mdb"); }),
              Error::kPermissionDenied);
    EXPECT_EQ(NumberOf([&] { files.CopyFile(dir / "New.Mdb", dir / "QzUFiles/Data.Mdb"); }),
              Error::kPermissionDenied);
    EXPECT_EQ(NumberOf([&] { files.WriteTextFile(dir / "QzUFiles/Data.Mdb", "x"); }),
              Error::kPermissionDenied);
    EXPECT_EQ(NumberOf([&] { files.ReplaceFile(dir / "New.Mdb", dir / "QzUFiles/Data.Mdb"); }),
              Error::kPermissionDenied);
    EXPECT_EQ(NumberOf([&] { files.DeleteFilesIn(dir / "QzUFiles"); }), Error::kPermissionDenied);
    EXPECT_EQ(dir.FilesIn("QzUFiles"), "Data.Mdb");
    EXPECT_EQ(dir.Read("QzUFiles/Data.Mdb"), "data");
    EXPECT_EQ(dir.Read("QzUFiles/After/Vq.exe"), "kept");
  }
  files.ReplaceFile(dir / "New.Mdb", dir / "QzUFiles/data.mdb");
  EXPECT_EQ(dir.Read("QzUFiles/Data.Mdb"), "new data");
  EXPECT_FALSE(dir.Exists("New.Mdb"));
  files.DeleteFilesIn(dir / "QzUFiles");
  EXPECT_EQ(dir.FilesIn("QzUFiles"), "");
}

// A private copy goes to the user's temporary folder. One that a run ended during the
// install left behind goes with the next copy; a running process's stays.
TEST_F(Win32FileSystemTest, PrivateCopiesOfEndedRunsAreDeleted) {
  const std::string stem = "qzupdate-" + std::to_string(GetCurrentProcessId()) + "-";
  dir.Write("VQ.Zip", "archive");
  dir.Write("Temp/qzupdate-4294967292-0.tmp", "orphan");
  dir.Write("Temp/" + stem + "0.tmp", "in use");
  dir.Write("Temp/qzupdate-notes.txt", "not a copy");
  wchar_t earlier[MAX_PATH + 1] = L"";
  const bool hadTmp = GetEnvironmentVariableW(L"TMP", earlier, MAX_PATH + 1) != 0;
  ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", std::filesystem::path(dir / "Temp").c_str()));
  std::string copy;
  const int32_t number = NumberOf([&] { copy = files.CopyToPrivateFile(dir / "VQ.Zip", nullptr); });
  SetEnvironmentVariableW(L"TMP", hadTmp ? earlier : nullptr);
  ASSERT_EQ(number, 0);
  EXPECT_EQ(dir.Read("Temp/" + stem + "1.tmp"), "archive") << copy;
  EXPECT_EQ(dir.FilesIn("Temp"), stem + "0.tmp " + stem + "1.tmp qzupdate-notes.txt");
}

TEST_F(Win32FileSystemTest, TheExecutableFolderHoldsTheRunningProgram) {
  std::string folder = files.ExecutableFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_TRUE(files.FileExists(folder + "\\win32_platform_tests.exe"));
}

// "C:" alone would name the drive's current folder, not its root.
TEST(Win32ProgramPathTest, AProgramAtADriveRootLiesInTheRootWithItsBackslash) {
  EXPECT_EQ(Win32ProgramPath::FolderOf(L"C:\\qzupdate.exe"), L"C:\\");
  EXPECT_EQ(Win32ProgramPath::FolderOf(L"D:/qzupdate.exe"), L"D:/");
  EXPECT_EQ(Win32ProgramPath::FolderOf(L"C:\\Vq\\qzupdate.exe"), L"C:\\Vq");
  EXPECT_EQ(Win32ProgramPath::FolderOf(L"\\\\server\\share\\qzupdate.exe"), L"\\\\server\\share");
}

}  // namespace
}  // namespace qz

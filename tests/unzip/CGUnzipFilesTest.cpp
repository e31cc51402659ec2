#include "unzip/CGUnzipFiles.h"

#include <gtest/gtest.h>

#include "platform/Error.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/ArchiveMaker.h"

namespace qz {
namespace {

class CGUnzipFilesTest : public ::testing::Test {
 protected:
  test::ScriptedPrompts prompts;
  test::TempDir dir;
};

TEST_F(CGUnzipFilesTest, NewInstanceHasTheDefaults) {
  CGUnzipFiles unzip(prompts, QZ_UNZIP32_FOLDER);
  EXPECT_TRUE(unzip.HonorDirectories());
  EXPECT_TRUE(unzip.OverWriteFiles());
  EXPECT_TRUE(unzip.CaseSensitive());
  EXPECT_FALSE(unzip.ExtractNewer() || unzip.SpaceToUnderScore() || unzip.PromptOverwrite() ||
               unzip.WriteToStdOut() || unzip.TestZip() || unzip.ExtractOnlyNewer() ||
               unzip.DisplayComment() || unzip.ConvertCRtoCRLF() || unzip.Verbose());
  EXPECT_EQ(unzip.MessageLevel(), 2);
  EXPECT_EQ(unzip.ExtractList(), 0);
  EXPECT_EQ(unzip.Privilege(), 0);
  EXPECT_EQ(unzip.ZipFileName(), "");
  EXPECT_EQ(unzip.ExtractDir(), "");
}

TEST_F(CGUnzipFilesTest, ValuesOutside16BitsAreKeptButOverflowInUnzip) {
  for (auto set : {&CGUnzipFiles::SetMessageLevel, &CGUnzipFiles::SetExtractList,
                   &CGUnzipFiles::SetPrivilege}) {
    CGUnzipFiles unzip(prompts, QZ_UNZIP32_FOLDER);
    (unzip.*set)(40000);
    unzip.SetZipFileName(dir / "missing.zip");
    try {
      unzip.Unzip("", "");
      FAIL() << "no overflow";
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), 6);
      EXPECT_EQ(error.Description(), "Overflow");
      EXPECT_EQ(error.Source(), "CGUnZipFiles::Unzip");
    }
  }
  CGUnzipFiles unzip(prompts, QZ_UNZIP32_FOLDER);
  unzip.SetMessageLevel(40000);
  EXPECT_EQ(unzip.MessageLevel(), 40000);
}

TEST_F(CGUnzipFilesTest, ArgumentsOfUnzipReplaceTheStoredNamesForGood) {
  CGUnzipFiles unzip(prompts, QZ_UNZIP32_FOLDER);
  unzip.SetZipFileName(dir / "stored.zip");
  unzip.SetExtractDir(dir / "stored");
  EXPECT_EQ(unzip.Unzip(dir / "given.zip", ""), 9);
  EXPECT_EQ(unzip.ZipFileName(), dir / "given.zip");
  EXPECT_EQ(unzip.ExtractDir(), dir / "stored");
  EXPECT_NE(unzip.GetLastMessage().find("given.zip"), std::string::npos);
}

TEST_F(CGUnzipFilesTest, NoArchiveNameIsRefusedByTheLibrary) {
  CGUnzipFiles unzip(prompts, QZ_UNZIP32_FOLDER);
  EXPECT_EQ(unzip.Unzip("", ""), 10);
  EXPECT_EQ(unzip.GetLastMessage(), "No archive name given.\r\nNo extraction folder given.\r\n");
}

TEST_F(CGUnzipFilesTest, LibraryProblemsArePassedOnUnderTheClassSource) {
  struct Case {
    std::string folder;
    int32_t number;
    std::string description;
  };
  for (const Case& c : {Case{dir.Path(), 48, "Error in loading DLL"},
                        Case{QZ_NOFUNCTIONS_FOLDER, 453, "Specified DLL function not found"}}) {
    CGUnzipFiles unzip(prompts, c.folder);
    try {
      unzip.Unzip(dir / "any.zip", dir.Path());
      FAIL() << "no error for " << c.folder;
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), c.number);
      EXPECT_EQ(error.Description(), c.description);
      EXPECT_EQ(error.Source(), "CGUnZipFiles::Unzip");
    }
  }
  // The real library still loads afterwards.
  CGUnzipFiles unzip(prompts, QZ_UNZIP32_FOLDER);
  EXPECT_EQ(unzip.Unzip(dir / "any.zip", dir.Path()), 9);
}

TEST_F(CGUnzipFilesTest, LastMessageIsSharedByAllInstances) {
  CGUnzipFiles first(prompts, QZ_UNZIP32_FOLDER);
  first.Unzip(dir / "missing.zip", dir.Path());
  CGUnzipFiles second(prompts, QZ_UNZIP32_FOLDER);
  EXPECT_EQ(second.GetLastMessage(), first.GetLastMessage());
  EXPECT_NE(second.GetLastMessage(), "");
}

}  // namespace
}  // namespace qz

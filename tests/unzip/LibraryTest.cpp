// The extraction library's own interface: what a vendor's program other than the updater
// can ask of it (name lists, listing, cancelling), called without the driver.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "support/ArchiveMaker.h"
#include "support/TempDir.h"
#include "unzip/CGCodeModule.h"
#include "unzip32.h"

namespace qz {
namespace {

std::string printed;
std::vector<std::string> listed;
std::vector<std::string> serviced;
int32_t serviceAnswer = 0;

int32_t UNZIP_API Print(const char* text, int32_t length) {
  printed.append(text, static_cast<size_t>(length));
  return 0;
}

void UNZIP_API ListEntry(uint32_t size, uint32_t compressedSize, int32_t, int32_t month, int32_t,
                         int32_t year, int32_t, int32_t, char flag, const char* name,
                         const char* method, uint32_t, int32_t encrypted) {
  listed.push_back(
      std::string(1, flag) + " " + name + " " + std::to_string(size) + " " + method + " " +
      std::to_string(encrypted) +
      (compressedSize <= size && month >= 1 && month <= 12 && year >= 1980 ? "" : " bad"));
}

int32_t UNZIP_API Service(const char* name, uint32_t) {
  serviced.emplace_back(name);
  return serviceAnswer;
}

class LibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    printed.clear();
    listed.clear();
    serviced.clear();
    serviceAnswer = 0;
    library =
        DynamicLibrary::Open(std::string(QZ_UNZIP32_FOLDER) + "/" + CGCodeModule::kLibraryFileName);
    unzip =
        reinterpret_cast<WizSingleEntryUnzipFunction>(library->Function("Wiz_SingleEntryUnzip"));
    test::ArchiveMaker(archive)
        .Add("Vq.exe", std::string(1000, 'p'))
        .Add("Docs/Read Me.TXT", "readme")
        .Add("docs/notes.txt", "notes")
        .AddFolder("docs/empty")
        .Close();
    options.ZipFileName = archive.c_str();
    options.ExtractDir = folder.c_str();
    options.HonorDirectories = 1;
    options.OverWriteFiles = 1;
    options.MessageLevel = 2;
    callbacks.Print = Print;
    callbacks.ListEntry = ListEntry;
    callbacks.Service = Service;
  }

  int32_t Run(std::vector<const char*> include, std::vector<const char*> exclude = {}) {
    UnzipNameList in = {}, out = {};
    std::copy(include.begin(), include.end(), in.Names);
    std::copy(exclude.begin(), exclude.end(), out.Names);
    return unzip(static_cast<int32_t>(include.size()), &in, static_cast<int32_t>(exclude.size()),
                 &out, &options, &callbacks);
  }

  test::TempDir dir;
  std::string archive = dir / "a.zip";
  std::string folder = dir / "out";
  std::unique_ptr<DynamicLibrary> library;
  WizSingleEntryUnzipFunction unzip = nullptr;
  UnzipOptions options = {};
  UnzipCallbacks callbacks = {};
};

TEST_F(LibraryTest, NameListsSelectMembersWithOrWithoutCase) {
  options.CaseSensitive = 1;
  EXPECT_EQ(Run({"DOCS/*"}, {"*notes*"}), 0) << printed;
  EXPECT_EQ(dir.FilesIn("out"), "");
  EXPECT_EQ(dir.FilesIn("out/Docs"), "Read Me.TXT");
  EXPECT_TRUE(dir.Exists("out/Docs/empty"));

  options.CaseSensitive = 0;
  EXPECT_EQ(Run({"vq.exe", "Vq.ex?"}), 11);
  EXPECT_EQ(printed, "vq.exe: no member of that name.\n");
  EXPECT_EQ(dir.FilesIn("out"), "Vq.exe");
}

TEST_F(LibraryTest, UnusableNameListsAreRefused) {
  UnzipNameList list = {};
  EXPECT_EQ(unzip(1, &list, 0, nullptr, &options, &callbacks), 10);
  EXPECT_EQ(unzip(101, &list, 0, nullptr, &options, &callbacks), 10);
  EXPECT_EQ(unzip(0, nullptr, 0, nullptr, nullptr, &callbacks), 10);
  EXPECT_FALSE(dir.Exists("out"));
}

TEST_F(LibraryTest, ListingReportsEveryMemberAndTotals) {
  options.ExtractList = 1;
  EXPECT_EQ(Run({}), 0);
  EXPECT_EQ(listed,
            (std::vector<std::string>{"- Vq.exe 1000 Deflated 0", "- Docs/Read Me.TXT 6 Stored 0",
                                      "- docs/notes.txt 5 Stored 0", "d docs/empty/ 0 Stored 0"}));
  EXPECT_EQ(callbacks.MemberCount, 4u);
  EXPECT_EQ(callbacks.TotalSize, 1011u);
  EXPECT_FALSE(dir.Exists("out"));
}

TEST_F(LibraryTest, ServiceFunctionCanCancelTheRun) {
  serviceAnswer = 1;
  EXPECT_EQ(Run({}), 80);
  EXPECT_EQ(serviced, std::vector<std::string>{"Vq.exe"});
  EXPECT_EQ(dir.FilesIn("out"), "");
}

TEST_F(LibraryTest, VersionRecordIsFilled) {
  auto version2 = reinterpret_cast<UzpVersion2Function>(library->Function("UzpVersion2"));
  UnzipVersionInfo version = {};
  version.Length = sizeof version;
  version2(&version);
  EXPECT_STREQ(version.Release, "release");
  EXPECT_NE(version.Backend[0], '\0');
  UnzipVersionInfo tooShort = {};
  tooShort.Length = 8;
  version2(&tooShort);
  EXPECT_EQ(tooShort.Release[0], '\0');
}

}  // namespace
}  // namespace qz

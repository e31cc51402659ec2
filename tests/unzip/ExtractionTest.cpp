// The extraction library driven as the updater drives it, through CGUnzipFiles.

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <thread>
#include <vector>

#include "support/ArchiveMaker.h"
#include "support/FileHolder.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "unzip/CGUnzipFiles.h"

namespace fs = std::filesystem;

namespace qz {
namespace {

// Sets (or with "" removes) a variable of the process's environment, which the library
// reads at each run.
void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  if (*value == '\0') {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
#endif
}

class ExtractionTest : public ::testing::Test {
 protected:
  // A held file fails at once unless a test asks the library to wait for it.
  void SetUp() override {
    fs::create_directory(Out());
    SetVariable("QZ_UNZIP_BUSY_MS", "0");
  }
  void TearDown() override { SetVariable("QZ_UNZIP_BUSY_MS", ""); }

  std::string Archive() const { return dir / "QzUFiles/VQ.Zip"; }
  std::string Out() const { return dir / "app"; }

  test::ArchiveMaker Maker() {
    fs::create_directories(dir / "QzUFiles");
    return test::ArchiveMaker(Archive());
  }

  CGUnzipFiles Unzipper() {
    CGUnzipFiles unzip(prompts, QZ_UNZIP32_FOLDER);
    unzip.SetZipFileName(Archive());
    unzip.SetExtractDir(Out());
    return unzip;
  }

  // One pass as the install dialog runs it.
  int32_t Install(bool testOnly) {
    CGUnzipFiles unzip = Unzipper();
    unzip.SetHonorDirectories(false);
    unzip.SetTestZip(testOnly);
    return Finish(unzip);
  }

  int32_t Finish(CGUnzipFiles& unzip) {
    int32_t result = unzip.Unzip("", "");
    message = unzip.GetLastMessage();
    return result;
  }

  // Every entry below the test folder except the archive's folder, "/" after folders.
  std::string Tree() const {
    std::vector<std::string> names;
    for (auto it = fs::recursive_directory_iterator(dir.Path());
         it != fs::recursive_directory_iterator(); ++it) {
      std::string name = fs::relative(it->path(), dir.Path()).generic_string();
      if (name.rfind("QzUFiles", 0) == 0) continue;
      if (it->is_symlink())
        name += "@";
      else if (it->is_directory())
        name += "/";
      names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    std::string tree;
    for (const auto& name : names) tree += (tree.empty() ? "" : " ") + name;
    return tree;
  }

  bool Says(const std::string& text) const { return message.find(text) != std::string::npos; }

  test::ScriptedPrompts prompts;
  test::TempDir dir;
  std::string message;
};

TEST_F(ExtractionTest, TestPassOfASoundArchiveWritesNothing) {
  Maker().Add("Vq.exe", "new program").Add("docs/readme.txt", std::string(5000, 'r')).Close();
  EXPECT_EQ(Install(true), 0);
  EXPECT_EQ(message, "");
  EXPECT_EQ(Tree(), "app/");

  CGUnzipFiles chatty = Unzipper();
  chatty.SetTestZip(true);
  chatty.SetMessageLevel(0);
  EXPECT_EQ(Finish(chatty), 0);
  EXPECT_TRUE(Says("    testing: Vq.exe   OK\r\n"));
  EXPECT_TRUE(Says("No errors detected in compressed data of " + Archive() + ".\r\n"));
}

TEST_F(ExtractionTest, TestPassFindsDamageTruncationAndNonArchives) {
  test::ArchiveMaker::Options stored;
  stored.stored = true;
  Maker().Add("Vq.exe", "program bytes that will be damaged", stored).Add("ok.txt", "fine").Close();
  std::ofstream(dir / "app/Vq.exe") << "old";
  test::DamageFile(Archive(), "program bytes");
  EXPECT_EQ(Install(true), 2);
  EXPECT_TRUE(Says("Vq.exe: bad CRC, the member is damaged.\r\n")) << message;
  EXPECT_FALSE(Says("ok.txt"));
  EXPECT_EQ(dir.Read("app/Vq.exe"), "old");

  Maker().Add("Vq.exe", std::string(20000, 'v')).Close();
  test::TruncateFile(Archive(), fs::file_size(Archive()) / 2);
  EXPECT_EQ(Install(true), 51);
  EXPECT_TRUE(Says("ends early")) << message;

  std::ofstream(Archive(), std::ios::trunc) << "<html>404 Not Found</html>";
  EXPECT_EQ(Install(true), 9);
  EXPECT_EQ(message, Archive() + ": not a zip archive.\r\n");

  fs::remove(Archive());
  EXPECT_EQ(Install(true), 9);
  EXPECT_TRUE(Says("Cannot find or open the archive")) << message;
  EXPECT_EQ(Tree(), "app/ app/Vq.exe");
}

TEST_F(ExtractionTest, TestPassReportsUnsupportedMethodsAndAcceptsStreamedArchives) {
  test::ArchiveMaker::Options stored;
  stored.stored = true;
  Maker().Add("Vq.exe", "program", stored).Close();
  test::SetFirstMethod(Archive(), 97);
  EXPECT_EQ(Install(true), 81);
  EXPECT_EQ(message, "Vq.exe: compression method not supported.\r\n");

  // Written from a pipe, with sizes after the data and zip64 local headers.
  fs::copy_file(QZ_ZIPPED_FOLDER "/streamed.zip", Archive(), fs::copy_options::overwrite_existing);
  EXPECT_EQ(Install(true), 0) << message;
}

TEST_F(ExtractionTest, InstallPassWritesNestedMembersFlatAndReplacesFilesOfOtherCase) {
  // bin/vq.exe, data/Help/Vq.chm and Readme.txt, zipped with their folders.
  fs::create_directories(dir / "QzUFiles");
  fs::copy_file(QZ_ZIPPED_FOLDER "/nested.zip", Archive());
  dir.Write("app/Vq.exe", "old program");
  dir.Write("app/Data.Mdb", "database");

  EXPECT_EQ(Install(true), 0) << message;
  EXPECT_EQ(Install(false), 0) << message;
  EXPECT_EQ(message, "");
  EXPECT_EQ(dir.FilesIn("app"), "Data.Mdb Readme.txt Vq.chm Vq.exe");
  EXPECT_EQ(dir.Read("app/Vq.exe"), "new program");
  EXPECT_EQ(dir.Read("app/Vq.chm"), "help");
  EXPECT_EQ(dir.Read("app/Data.Mdb"), "database");
  EXPECT_FALSE(dir.Exists("app/bin") || dir.Exists("app/data"));
}

TEST_F(ExtractionTest, DamagedMemberLeavesTheExistingFileAndNoPartialFile) {
  test::ArchiveMaker::Options stored;
  stored.stored = true;
  Maker()
      .Add("first.txt", "first")
      .Add("Vq.exe", std::string(300000, 'x') + "tail of the program", stored)
      .Add("last.txt", "last")
      .Close();
  test::DamageFile(Archive(), "tail of the program");
  dir.Write("app/Vq.exe", "old program");
  EXPECT_EQ(Install(false), 2);
  EXPECT_TRUE(Says("Vq.exe: bad CRC")) << message;
  EXPECT_EQ(dir.Read("app/Vq.exe"), "old program");
  EXPECT_EQ(dir.FilesIn("app"), "Vq.exe first.txt last.txt");
}

// More members than wait together for their flush and rename, and one too large to be
// inflated in memory, which streams instead.
TEST_F(ExtractionTest, EveryMemberOfALargeArchiveArrivesWhole) {
  test::ArchiveMaker maker = Maker();
  for (int i = 0; i < 1100; ++i) maker.Add("f" + std::to_string(i) + ".txt", std::to_string(i));
  std::string large;
  for (int64_t i = 0; large.size() < 17 * 1024 * 1024; ++i) large += std::to_string(i * 7919) + ",";
  maker.Add("large.bin", large).Close();
  EXPECT_EQ(Install(true), 0) << message;
  EXPECT_EQ(Install(false), 0) << message;
  size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir / "app")) {
    EXPECT_EQ(entry.path().filename().string().find(".qzunzip"), std::string::npos);
    ++files;
  }
  EXPECT_EQ(files, 1101u);
  EXPECT_EQ(dir.Read("app/f0.txt"), "0");
  EXPECT_EQ(dir.Read("app/f1099.txt"), "1099");
  EXPECT_TRUE(dir.Read("app/large.bin") == large);
}

// An empty count restores the default.
void SetInflaters(const char* count) {
  SetVariable("QZ_UNZIP_INFLATERS", count);
}

// Members read ahead on other threads: every result, message and file is what the calling
// thread alone gives, across batches of flushes, more folders than stay open, a damaged
// member, a member passed over after it was read, and one that streams.
TEST_F(ExtractionTest, ReadingAheadChangesNothingARunReports) {
  test::ArchiveMaker::Options stored;
  stored.stored = true;
  test::ArchiveMaker maker = Maker();
  for (int i = 0; i < 600; ++i) {
    maker.Add("d" + std::to_string(i % 80) + "/f" + std::to_string(i) + ".txt",
              std::string(static_cast<size_t>(i) * 37, static_cast<char>('a' + i % 26)));
    if (i == 300) maker.Add("damaged.bin", "bytes that will be damaged", stored);
  }
  maker.Add("large.bin", std::string(17 << 20, 'L')).Close();
  test::DamageFile(Archive(), "bytes that will be");
  auto snapshot = [&](bool testOnly) {
    fs::remove_all(Out());
    dir.Write("app/d7/f7.txt", "in use");
    test::FileHolder holder(dir / "app/d7/f7.txt");
    CGUnzipFiles unzip = Unzipper();
    unzip.SetTestZip(testOnly);
    unzip.SetMessageLevel(0);
    std::string seen = std::to_string(Finish(unzip)) + "\n" + message;
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(Out())) {
      files.push_back(entry.path().generic_string() + " " +
                      (entry.is_regular_file() ? std::to_string(entry.file_size()) : "/"));
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) seen += file + "\n";
    return seen;
  };
  SetInflaters("0");
  const std::string tested = snapshot(true), installed = snapshot(false);
  EXPECT_NE(installed.find("damaged.bin: bad CRC"), std::string::npos) << installed;
  EXPECT_NE(installed.find("f7.txt is in use"), std::string::npos) << installed;
  EXPECT_NE(installed.find("large.bin " + std::to_string(17 << 20)), std::string::npos);
  for (const char* inflaters : {"1", "3"}) {
    SCOPED_TRACE(inflaters);
    SetInflaters(inflaters);
    EXPECT_EQ(snapshot(true), tested);
    EXPECT_EQ(snapshot(false), installed);
  }
  SetInflaters("");
}

TEST_F(ExtractionTest, HostileNamesNeverLeadOutsideTheFolder) {
  test::ArchiveMaker::Options link;
  link.unixMode = test::kUnixSymlink | 0777;
  Maker()
      .Add("../up.txt", "1")
      .Add("/abs/root.txt", "2")
      .Add("C:\\win\\drive.txt", "3")
      .Add("a/../../deep.txt", "4")
      .Add("link", dir.Path(), link)
      .Add("dir/..", "5")
      .Close();
  EXPECT_EQ(Install(false), 1);
  EXPECT_EQ(Tree(), "app/ app/deep.txt app/drive.txt app/root.txt app/up.txt");
  EXPECT_TRUE(Says("link: links and special files are not extracted.")) << message;
  EXPECT_TRUE(Says("dir/..: not a usable file name, skipped.")) << message;

  fs::remove_all(Out());
  CGUnzipFiles honoring = Unzipper();
  EXPECT_EQ(Finish(honoring), 1);
  EXPECT_EQ(Tree(),
            "app/ app/a/ app/a/deep.txt app/abs/ app/abs/root.txt app/up.txt app/win/ "
            "app/win/drive.txt");
  EXPECT_TRUE(Says("../up.txt: root, drive or parent folder parts removed, written as up.txt."));
}

// Only Windows cannot store some of these names: there they are mapped, elsewhere they are
// kept as stored, and only a control character makes a name unusable.
TEST_F(ExtractionTest, NamesAreMappedOnlyWhereTheSystemCannotStoreThem) {
  Maker()
      .Add("what?<now>.txt", "1")
      .Add("dots... ", "2")
      .Add("Con.txt", "3")
      .Add("folder. /lpt1", "4")
      .Add("x/a:b", "5")
      .Add("tab\t.txt", "6")
      .Close();
  CGUnzipFiles honoring = Unzipper();
#ifdef _WIN32
  EXPECT_EQ(Finish(honoring), 0) << message;
  EXPECT_EQ(Tree(),
            "app/ app/_Con.txt app/dots app/folder/ app/folder/_lpt1 "
            "app/tab_.txt app/what__now_.txt app/x/ app/x/a_b");
#else
  EXPECT_EQ(Finish(honoring), 1) << message;
  EXPECT_TRUE(Says("tab\t.txt: not a usable file name, skipped.")) << message;
  EXPECT_EQ(Tree(),
            "app/ app/Con.txt app/dots...  app/folder. / app/folder. /lpt1 "
            "app/what?<now>.txt app/x/ app/x/a:b");
#endif
}

TEST_F(ExtractionTest, AFolderThatIsALinkIsNotFollowed) {
  fs::create_directory(dir / "elsewhere");
  std::error_code linked;
  fs::create_directory_symlink(dir / "elsewhere", dir / "app/sub", linked);
  if (linked) GTEST_SKIP() << "no folder links here: " << linked.message();
  Maker().Add("sub/x.txt", "x").Close();
  CGUnzipFiles honoring = Unzipper();
  EXPECT_EQ(Finish(honoring), 2);
  EXPECT_TRUE(Says("sub/x.txt: Folder sub is a link, not followed.")) << message;
  EXPECT_EQ(dir.FilesIn("elsewhere"), "");
}

TEST_F(ExtractionTest, HonoredFoldersReuseExistingFoldersOfOtherCase) {
  fs::create_directories(dir / "app/Data");
  Maker().AddFolder("empty").Add("data/sub/f.txt", "f").Close();
  CGUnzipFiles honoring = Unzipper();
  EXPECT_EQ(Finish(honoring), 0) << message;
  EXPECT_EQ(Tree(), "app/ app/Data/ app/Data/sub/ app/Data/sub/f.txt app/empty/");
}

TEST_F(ExtractionTest, SameNameAfterFlatteningLaterMemberWinsQuietlyWhenOverwriting) {
  Maker().Add("x86/helper.dll", "32").Add("x64/Helper.dll", "64").Close();
  EXPECT_EQ(Install(true), 0) << message;
  EXPECT_EQ(Install(false), 0) << message;
  EXPECT_EQ(message, "");
  EXPECT_EQ(dir.FilesIn("app"), "helper.dll");
  EXPECT_EQ(dir.Read("app/helper.dll"), "64");

  CGUnzipFiles asking = Unzipper();
  asking.SetHonorDirectories(false);
  asking.SetOverWriteFiles(false);
  asking.SetPromptOverwrite(true);
  fs::remove_all(Out());
  EXPECT_EQ(Finish(asking), 1);
  EXPECT_EQ(message, "x64/Helper.dll: replaces an earlier member written as Helper.dll.\r\n");
}

TEST_F(ExtractionTest, TestPassRefusesWhatTheInstallingPassWouldRefuse) {
  struct Case {
    std::string name;
    uint32_t mode;
    std::string line;
  };
  const std::vector<Case> cases = {
      {"lib/libvq.so", test::kUnixSymlink | 0777,
       "lib/libvq.so: links and special files are not extracted."},
      {"dev/null", test::kUnixCharDevice | 0666,
       "dev/null: links and special files are not extracted."},
      {"a/..", 0, "a/..: not a usable file name, skipped."},
      // The pattern of the temporary files, which a later start cleans up.
      {"x/.QzUnzip-7-0.tmp", 0, "x/.QzUnzip-7-0.tmp: not a usable file name, skipped."},
      {"x/.Vq.exe.123.QzTmp", 0, "x/.Vq.exe.123.QzTmp: not a usable file name, skipped."},
      {"pack/qzufiles", 0, "pack/qzufiles: QzUFiles is a folder and cannot be replaced."},
      {std::string(256, 'n') + ".dll", 0, ".dll: the name is too long to be written."},
      {"bin/Vq.exe", 0, "bin/Vq.exe: Vq.exe is in use by another program and was not replaced."},
  };
  fs::create_directories(dir / "app/QzUFiles");
  dir.Write("app/Vq.exe", "old");
  for (const Case& bad : cases) {
    SCOPED_TRACE(bad.line);
    test::ArchiveMaker::Options options;
    options.unixMode = bad.mode;
    std::optional<test::FileHolder> holder;
    if (bad.name == "bin/Vq.exe") holder.emplace(dir / "app/Vq.exe");
    Maker().Add("first.txt", "first").Add(bad.name, "/etc/passwd", options).Close();
    int32_t tested = Install(true);
    EXPECT_NE(tested, 0);
    EXPECT_TRUE(Says(bad.line)) << message;
    EXPECT_EQ(Tree(), "app/ app/QzUFiles/ app/Vq.exe");
    EXPECT_EQ(Install(false), tested) << message;
    EXPECT_TRUE(Says(bad.line)) << message;
    EXPECT_EQ(dir.Read("app/Vq.exe"), "old");
    fs::remove(dir / "app/first.txt");
  }
}

// An archive whose directory lists `copies` members that all point at the one body of
// a stored member, each under a name of the same length.
void ForgeSharedBodies(const std::string& path, int copies) {
  test::ArchiveMaker::Options stored;
  stored.stored = true;
  test::ArchiveMaker(path).Add("body0.txt", std::string(100000, 'b'), stored).Close();
  std::ifstream in(path, std::ios::binary);
  std::string zip((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  in.close();
  auto word = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(zip[at]) |
                                 static_cast<unsigned char>(zip[at + 1]) << 8 |
                                 static_cast<unsigned char>(zip[at + 2]) << 16 |
                                 static_cast<unsigned char>(zip[at + 3]) << 24);
  };
  auto put = [](std::string& bytes, size_t at, uint32_t value, int width) {
    for (int i = 0; i < width; ++i)
      bytes[at + static_cast<size_t>(i)] = static_cast<char>(value >> (8 * i));
  };
  size_t end = zip.size() - 22;
  std::string record = zip.substr(word(end + 16), word(end + 12));
  std::string directory;
  for (int i = 0; i < copies; ++i) {
    record[46 + 4] = static_cast<char>('0' + i);
    directory += record;
  }
  std::string tail = zip.substr(end);
  put(tail, 8, static_cast<uint32_t>(copies), 2);
  put(tail, 10, static_cast<uint32_t>(copies), 2);
  put(tail, 12, static_cast<uint32_t>(directory.size()), 4);
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      << zip.substr(0, word(end + 16)) + directory + tail;
}

TEST_F(ExtractionTest, MembersSharingTheirDataAreRefused) {
  fs::create_directories(dir / "QzUFiles");
  ForgeSharedBodies(Archive(), 10);
  EXPECT_EQ(Install(true), 3);
  EXPECT_EQ(message, Archive() +
                         ": the members body0.txt and body1.txt overlap; the archive is damaged "
                         "or forged.\r\n");
  EXPECT_EQ(Install(false), 3);
  EXPECT_EQ(Tree(), "app/");
}

// True when `password` opens no member of the archive at `path`.
bool OpensNothing(const std::string& path, const char* password) {
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, nullptr);
  bool opened = false;
  for (zip_int64_t i = 0; archive != nullptr && i < zip_get_num_entries(archive, 0); ++i) {
    if (zip_file_t* file =
            zip_fopen_index_encrypted(archive, static_cast<zip_uint64_t>(i), 0, password)) {
      opened = true;
      zip_fclose(file);
    }
  }
  if (archive != nullptr) zip_discard(archive);
  return archive != nullptr && !opened;
}

TEST_F(ExtractionTest, EncryptedMembersOpenWithThePasswordTheUserGives) {
  for (uint16_t method : {ZIP_EM_TRAD_PKWARE, ZIP_EM_AES_256}) {
    test::ArchiveMaker::Options locked;
    locked.encryption = method;
    locked.password = "right";
    // The traditional encryption's check lets one wrong password in 256 through to garbage
    // data, depending on the random header of each member: made again until it refuses.
    do {
      Maker().Add("one.txt", "one", locked).Add("two.txt", "two", locked).Close();
    } while (!OpensNothing(Archive(), "wrong"));
    prompts.inputAnswers = {"wrong", "right"};
    prompts.inputPrompts.clear();
    EXPECT_EQ(Install(false), 0) << message;
    EXPECT_EQ(dir.Read("app/one.txt"), "one");
    EXPECT_EQ(dir.Read("app/two.txt"), "two");
    // The password that opened one member is tried on the next before asking again.
    EXPECT_EQ(prompts.inputPrompts.size(), 2u);
    fs::remove_all(Out());
  }
}

#ifndef _WIN32
// A password typed in UTF-8 opens an archive encrypted on Linux with those bytes and one
// encrypted on Windows with their Windows-1252 form, with one question each.
TEST_F(ExtractionTest, ANonAsciiPasswordOpensArchivesOfEitherSystem) {
  const std::string typed =
      "s\xC3\xA9"
      "cret";
  const std::string windows =
      "s\xE9"
      "cret";
  for (const std::string& password : {typed, windows}) {
    SCOPED_TRACE(password);
    test::ArchiveMaker::Options locked;
    locked.encryption = ZIP_EM_TRAD_PKWARE;
    locked.password = password;
    const std::string& other = password == typed ? windows : typed;
    do {
      Maker().Add("one.txt", "one", locked).Close();
    } while (!OpensNothing(Archive(), other.c_str()));
    prompts.inputAnswers = {typed};
    prompts.inputPrompts.clear();
    EXPECT_EQ(Install(false), 0) << message;
    EXPECT_EQ(dir.Read("app/one.txt"), "one");
    EXPECT_EQ(prompts.inputPrompts.size(), 1u);
    fs::remove_all(Out());
    fs::create_directory(Out());
  }
}
#endif

#ifndef _WIN32
// The UTF-8 form of a password is tried first; when the encryption's one-byte check lets
// it through on an archive encrypted with the Windows-1252 form, the member's data fail
// their check, and the Windows-1252 form must be tried before it counts as damaged.
TEST_F(ExtractionTest, AFormThatPassesOnlyThePasswordCheckGivesWayToTheOtherForm) {
  const std::string typed =
      "s\xC3\xA9"
      "cret";
  test::ArchiveMaker::Options locked;
  locked.encryption = ZIP_EM_TRAD_PKWARE;
  locked.password =
      "s\xE9"
      "cret";
  const std::string data = test::ArchiveMaker::Incompressible(300, 7);
  // Each making draws a new random encryption header: made again until the check passes
  // the typed form, which happens about once in 256 makings.
  int makings = 0;
  do {
    ASSERT_LT(++makings, 20'000);
    Maker().Add("one.txt", data, locked).Close();
  } while (OpensNothing(Archive(), typed.c_str()));
  for (bool testOnly : {true, false}) {
    prompts.inputAnswers = {typed};
    prompts.inputPrompts.clear();
    EXPECT_EQ(Install(testOnly), 0) << message;
    EXPECT_EQ(prompts.inputPrompts.size(), 1u);
  }
  EXPECT_EQ(dir.Read("app/one.txt"), data);
}
#endif

TEST_F(ExtractionTest, EmptyPasswordAnswerSkipsEveryEncryptedMember) {
  test::ArchiveMaker::Options locked;
  locked.encryption = ZIP_EM_TRAD_PKWARE;
  locked.password = "right";
  Maker().Add("one.txt", "one", locked).Add("two.txt", "two", locked).Close();
  EXPECT_EQ(Install(false), 82);
  EXPECT_EQ(prompts.inputPrompts.size(), 1u);
  EXPECT_EQ(message,
            "one.txt: skipped, the password is missing or incorrect.\r\n"
            "two.txt: skipped, the password is missing or incorrect.\r\n");
  EXPECT_EQ(dir.FilesIn("app"), "");

  Maker().Add("one.txt", "one", locked).Add("plain.txt", "plain").Close();
  EXPECT_EQ(Install(false), 1);
  EXPECT_EQ(dir.FilesIn("app"), "plain.txt");
}

TEST_F(ExtractionTest, ExistingFilesFollowTheOverwriteSwitches) {
  Maker().Add("a.txt", "new a").Add("b.txt", "new b").Add("c.txt", "new c").Close();
  auto reset = [&] {
    for (const char* name : {"A.txt", "b.txt", "c.txt"})
      dir.Write(std::string("app/") + name, "old");
  };
  reset();
  CGUnzipFiles keep = Unzipper();
  keep.SetOverWriteFiles(false);
  EXPECT_EQ(Finish(keep), 0);
  EXPECT_EQ(dir.Read("app/A.txt") + dir.Read("app/b.txt"), "oldold");
  EXPECT_TRUE(prompts.boxes.empty());

  CGUnzipFiles ask = Unzipper();
  ask.SetOverWriteFiles(false);
  ask.SetPromptOverwrite(true);
  prompts.answers = {MsgBoxResult::kNo, MsgBoxResult::kYes, MsgBoxResult::kYes};
  EXPECT_EQ(Finish(ask), 0);
  EXPECT_EQ(dir.Read("app/A.txt") + dir.Read("app/b.txt") + dir.Read("app/c.txt"), "oldnew bnew c");
  ASSERT_EQ(prompts.boxes.size(), 3u);
  EXPECT_EQ(prompts.boxes[0].body, "Overwrite " + Out() + "/A.txt?");

  reset();
  prompts.boxes.clear();
  prompts.answers = {MsgBoxResult::kCancel};
  EXPECT_EQ(Finish(ask), 0);
  EXPECT_EQ(prompts.boxes.size(), 1u);
  EXPECT_EQ(dir.Read("app/A.txt") + dir.Read("app/b.txt") + dir.Read("app/c.txt"), "oldoldold");
}

TEST_F(ExtractionTest, NewerSwitchesCompareModificationTimes) {
  time_t now = time(nullptr);
  test::ArchiveMaker::Options older, newer;
  older.modified = now - 7200;
  newer.modified = now + 7200;
  Maker()
      .Add("old.txt", "archive old", older)
      .Add("new.txt", "archive new", newer)
      .Add("absent.txt", "absent", newer)
      .Close();
  dir.Write("app/old.txt", "disk");
  dir.Write("app/new.txt", "disk");

  CGUnzipFiles freshen = Unzipper();
  freshen.SetExtractNewer(true);
  EXPECT_EQ(Finish(freshen), 0);
  EXPECT_EQ(dir.FilesIn("app"), "new.txt old.txt");
  EXPECT_EQ(dir.Read("app/old.txt") + "|" + dir.Read("app/new.txt"), "disk|archive new");

  CGUnzipFiles update = Unzipper();
  update.SetExtractOnlyNewer(true);
  EXPECT_EQ(Finish(update), 0);
  EXPECT_EQ(dir.FilesIn("app"), "absent.txt new.txt old.txt");
  EXPECT_EQ(dir.Read("app/old.txt"), "disk");
}

TEST_F(ExtractionTest, SpacesBecomeUnderscoresOnRequest) {
  Maker().Add("my folder/a file.txt", "x").Close();
  CGUnzipFiles unzip = Unzipper();
  unzip.SetSpaceToUnderScore(true);
  EXPECT_EQ(Finish(unzip), 0);
  EXPECT_EQ(Tree(), "app/ app/my_folder/ app/my_folder/a_file.txt");
}

TEST_F(ExtractionTest, OptionsThatCannotBeHonouredAreRefused) {
  Maker().Add("a.txt", "a").Close();
  void (CGUnzipFiles::*switches[])(bool) = {
      &CGUnzipFiles::SetWriteToStdOut, &CGUnzipFiles::SetDisplayComment,
      &CGUnzipFiles::SetConvertCRtoCRLF, &CGUnzipFiles::SetVerbose};
  for (auto set : switches) {
    CGUnzipFiles unzip = Unzipper();
    (unzip.*set)(true);
    EXPECT_EQ(Finish(unzip), 10);
    EXPECT_TRUE(Says("not supported")) << message;
  }
  CGUnzipFiles privileged = Unzipper();
  privileged.SetPrivilege(1);
  EXPECT_EQ(Finish(privileged), 10);
  CGUnzipFiles noFolder = Unzipper();
  noFolder.SetExtractDir("");
  EXPECT_EQ(Finish(noFolder), 10);
  EXPECT_EQ(message, "No extraction folder given.\r\n");
  EXPECT_EQ(Tree(), "app/");
}

TEST_F(ExtractionTest, ListingWritesNothing) {
  Maker().Add("a.txt", "a").Close();
  CGUnzipFiles unzip = Unzipper();
  unzip.SetExtractList(1);
  EXPECT_EQ(Finish(unzip), 0);
  EXPECT_EQ(Tree(), "app/");
}

#ifdef _WIN32
// A target that another program (a virus scanner) holds for a moment is waited out; one
// held longer than the wait is refused by the test pass as before, and stays as it was.
TEST_F(ExtractionTest, ATargetHeldForAMomentIsWaitedOut) {
  Maker().Add("bin/Vq.exe", "new").Close();
  dir.Write("app/Vq.exe", "old");
  SetVariable("QZ_UNZIP_BUSY_MS", "5000");
  {
    test::FileHolder scanner(dir / "app/Vq.exe");
    ASSERT_TRUE(scanner.Holding());
    std::thread letGo([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      scanner.Release();
    });
    EXPECT_EQ(Install(true), 0) << message;
    letGo.join();
  }
  EXPECT_EQ(Install(false), 0) << message;
  EXPECT_EQ(dir.Read("app/Vq.exe"), "new");

  SetVariable("QZ_UNZIP_BUSY_MS", "300");
  Maker().Add("bin/Vq.exe", "newer").Close();
  test::FileHolder scanner(dir / "app/Vq.exe");
  ASSERT_TRUE(scanner.Holding());
  EXPECT_NE(Install(true), 0);
  EXPECT_TRUE(Says("Vq.exe is in use by another program and was not replaced.")) << message;
  scanner.Release();
  EXPECT_EQ(dir.Read("app/Vq.exe"), "new");
}
#endif

TEST_F(ExtractionTest, AFileInUseIsNotReplaced) {
  Maker().Add("Vq.exe", "new").Add("other.txt", "other").Close();
  dir.Write("app/Vq.exe", "running");
  test::FileHolder running(dir / "app/Vq.exe");
  ASSERT_TRUE(running.Holding());
  EXPECT_EQ(Install(false), 2);
  running.Release();
  EXPECT_EQ(message, "Vq.exe: Vq.exe is in use by another program and was not replaced.\r\n");
  EXPECT_EQ(dir.Read("app/Vq.exe"), "running");
  EXPECT_EQ(dir.Read("app/other.txt"), "other");
}

TEST_F(ExtractionTest, AnEmptyArchiveIsOnlyAWarning) {
  fs::create_directories(dir / "QzUFiles");
  std::ofstream(Archive(), std::ios::binary)
      << std::string("PK\x05\x06", 4) + std::string(18, '\0');
  EXPECT_EQ(Install(true), 1);
  EXPECT_EQ(message, Archive() + ": the archive holds no members.\r\n");
}

}  // namespace
}  // namespace qz

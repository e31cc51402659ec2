#include "unzip/CGCodeModule.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cstring>

#include "platform/Error.h"
#include "support/ArchiveMaker.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

namespace qz {
namespace {

class CGCodeModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CGCodeModule::State().sLastMessage.clear();
    CGCodeModule::State().iSkipPassword = 0;
    CGCodeModule::State().prompts = &prompts;
  }
  void TearDown() override { CGCodeModule::State().prompts = nullptr; }

  int32_t Run(const std::string& archive, int16_t testZip) {
    return CGCodeModule::VBUnzip(prompts, QZ_UNZIP32_FOLDER, archive, dir / "out", 0, 0, 0, 2, 0,
                                 testZip, 0, 0, 0, 0, 1, 0, 0, 1, 0);
  }

  test::ScriptedPrompts prompts;
  test::TempDir dir;
};

TEST_F(CGCodeModuleTest, PrintAppendsPiecesAndTurnsLeadingLineFeedIntoCrLf) {
  CGCodeModule::UnzipPrint("abc", 3);
  CGCodeModule::UnzipPrint("\n", 1);
  CGCodeModule::UnzipPrint("\nrest of line", 13);
  CGCodeModule::UnzipPrint("de\0fg", 5);
  CGCodeModule::UnzipPrint("xyz", 2);
  CGCodeModule::UnzipPrint("ignored", 0);
  CGCodeModule::UnzipPrint("ignored", -4);
  EXPECT_EQ(CGCodeModule::State().sLastMessage, "abc\r\n\r\ndexy");
}

TEST_F(CGCodeModuleTest, PrintReadsAtMost32800Bytes) {
  std::string big(40000, 'x');
  EXPECT_EQ(CGCodeModule::UnzipPrint(big.c_str(), static_cast<int32_t>(big.size())), 0);
  EXPECT_EQ(CGCodeModule::State().sLastMessage.size(), 32800u);
}

TEST_F(CGCodeModuleTest, ReplaceAsksAndMapsTheAnswer) {
  prompts.answers = {MsgBoxResult::kYes, MsgBoxResult::kNo, MsgBoxResult::kCancel};
  EXPECT_EQ(CGCodeModule::UnzipReplace("/app/Vq.exe"), 102);
  EXPECT_EQ(CGCodeModule::UnzipReplace("/app/Vq.exe"), 100);
  EXPECT_EQ(CGCodeModule::UnzipReplace("/app/Vq.exe"), 104);
  ASSERT_EQ(prompts.boxes.size(), 3u);
  EXPECT_EQ(prompts.boxes[0].title, "VBUnZip32 - File Already Exists!");
  EXPECT_EQ(prompts.boxes[0].body, "Overwrite /app/Vq.exe?");
  EXPECT_EQ(prompts.boxes[0].style, kYesNoCancel | kExclamation);

  std::string longName(300, 'n');
  CGCodeModule::UnzipReplace(longName.c_str());
  EXPECT_EQ(prompts.boxes.back().body, "Overwrite " + std::string(256, 'n') + "?");

  CGCodeModule::State().prompts = nullptr;
  EXPECT_EQ(CGCodeModule::UnzipReplace("x"), 100);

  // A box that cannot be shown answers as its default button would.
  CGCodeModule::State().prompts = &prompts;
  prompts.onMsgBox = [](const test::ScriptedPrompts::Shown&) { throw Error(5, "no window"); };
  EXPECT_EQ(CGCodeModule::UnzipReplace("/app/Vq.exe"), 102);
}

// Qt's input box answers in UTF-8, the bytes an archive made on Linux takes; one made on
// Windows takes the ANSI code page, in which a Windows input box answers already.
#ifndef _WIN32
TEST_F(CGCodeModuleTest, PasswordIsTriedAsTypedThenInWindows1252BeforeAskingAgain) {
  prompts.inputAnswers = {"p\xC3\xA4ss\xE2\x82\xAC\xC5\xB8", "\xE6\xBC\xA2\xC3\xA4", "\xE4x",
                          "\xC3\xA9t\xC3\xA9", "plain"};
  char buffer[32];
  auto answer = [&](const char* member) {
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_EQ(CGCodeModule::UnzipPassword(buffer, sizeof buffer, "prompt", member), 0);
    return std::string(buffer);
  };
  EXPECT_EQ(answer("a.txt"), "p\xC3\xA4ss\xE2\x82\xAC\xC5\xB8");
  EXPECT_EQ(answer("a.txt"), "p\xE4ss\x80\x9F");
  EXPECT_EQ(prompts.inputPrompts.size(), 1u);
  // Without a second form (a character the code page lacks, or not UTF-8) the user is
  // asked again.
  EXPECT_EQ(answer("a.txt"), "\xE6\xBC\xA2\xC3\xA4");
  EXPECT_EQ(answer("a.txt"), "\xE4x");
  EXPECT_EQ(answer("a.txt"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(prompts.inputPrompts.size(), 4u);
  // The second form belongs to the member it was typed for.
  EXPECT_EQ(answer("b.txt"), "plain");
}
#endif

TEST_F(CGCodeModuleTest, PasswordIsWrittenWithinTheBufferAndZeroTerminated) {
  prompts.inputAnswers = {"secret", "much-too-long", std::string(300, 'p')};
  char buffer[300];
  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(CGCodeModule::UnzipPassword(buffer, 10, "prompt", "a.txt"), 0);
  EXPECT_EQ(std::string(buffer, 10), std::string("secret\0\0\0\0", 10));
  EXPECT_EQ(prompts.inputPrompts.back(), "Please Enter The Password!");

  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(CGCodeModule::UnzipPassword(buffer, 5, "prompt", "a.txt"), 0);
  EXPECT_EQ(std::string(buffer, 6), std::string("much\0z", 6));

  std::memset(buffer, 'z', sizeof buffer);
  EXPECT_EQ(CGCodeModule::UnzipPassword(buffer, 300, "prompt", "a.txt"), 0);
  EXPECT_EQ(std::string(buffer), std::string(256, 'p'));
}

TEST_F(CGCodeModuleTest, EmptyPasswordAnswerStopsFurtherQuestions) {
  char buffer[16] = "untouched";
  EXPECT_EQ(CGCodeModule::UnzipPassword(buffer, sizeof buffer, "prompt", "a.txt"), 1);
  EXPECT_EQ(CGCodeModule::State().iSkipPassword, 1);
  prompts.inputAnswers = {"late"};
  EXPECT_EQ(CGCodeModule::UnzipPassword(buffer, sizeof buffer, "prompt", "b.txt"), 1);
  EXPECT_EQ(prompts.inputPrompts.size(), 1u);
  EXPECT_STREQ(buffer, "untouched");
}

TEST_F(CGCodeModuleTest, EachRunStartsWithFreshState) {
  std::string archive = dir / "secret.zip";
  test::ArchiveMaker maker(archive);
  test::ArchiveMaker::Options locked;
  locked.encryption = ZIP_EM_TRAD_PKWARE;
  locked.password = "pw";
  maker.Add("a.txt", "data", locked);
  maker.Close();

  EXPECT_EQ(Run(archive, 1), 82);
  std::string first = CGCodeModule::State().sLastMessage;
  EXPECT_NE(first.find("a.txt"), std::string::npos);
  EXPECT_EQ(CGCodeModule::State().iSkipPassword, 1);

  prompts.inputAnswers = {"pw"};
  EXPECT_EQ(Run(archive, 1), 0);
  EXPECT_EQ(CGCodeModule::State().sLastMessage, "");
  EXPECT_EQ(CGCodeModule::State().iSkipPassword, 0);
  EXPECT_EQ(prompts.inputPrompts.size(), 2u);
}

}  // namespace
}  // namespace qz

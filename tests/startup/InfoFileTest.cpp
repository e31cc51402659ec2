#include "startup/InfoFile.h"

#include <gtest/gtest.h>

#include "startup/VersionToNumber.h"

namespace qz {
namespace {

TEST(VersionToNumberTest, ReadsTheVersionTable) {
  struct Row {
    const char* text;
    double number;
  };
  const Row rows[] = {{"1.0", 100},     {"1.3", 103},     {"1.3.0", 10300},   {"1.9", 109},
                      {"1.10", 1010},   {"1.2.3", 10203}, {"1.2.10", 102010}, {"1.20.3", 102003},
                      {"2.0.1", 20001}, {"2.05", 2005},   {"1.0 beta", 100},  {"", 0}};
  for (const Row& row : rows) EXPECT_EQ(VersionToNumber(row.text), row.number) << row.text;
}

TEST(VersionToNumberTest, ComparesByDigitCountNotPartByPart) {
  EXPECT_GT(VersionToNumber("1.10"), VersionToNumber("1.9"));
  EXPECT_GT(VersionToNumber("1.2.10"), VersionToNumber("1.3"));
  EXPECT_GT(VersionToNumber("1.2.10"), VersionToNumber("1.20.3"));
  EXPECT_GT(VersionToNumber("1.3.0"), VersionToNumber("1.3"));
}

TEST(VersionToNumberTest, ReadsLeniently) {
  EXPECT_EQ(VersionToNumber(" 1 . 3\t.0\n"), 10300);
  EXPECT_EQ(VersionToNumber("-1.5"), -105);
  EXPECT_EQ(VersionToNumber("+2"), 2);
  EXPECT_EQ(VersionToNumber("beta"), 0);
  EXPECT_EQ(VersionToNumber("1.2rc3"), 102);
  EXPECT_EQ(VersionToNumber("1e5"), 1);
  // Past 15 significant digits the number loses precision like any double.
  EXPECT_EQ(VersionToNumber("1.2.3.4.5.6.7.8.9"), 10203040506070809.0);
  EXPECT_GT(VersionToNumber(std::string(400, '9')), 1e300);
}

TEST(SplitInfoItemTest, SplitsAtTheFirstEqualsSignWithoutTrimming) {
  EXPECT_EQ(InfoFile::SplitInfoItem("ApplicationPath=C:\\Apps\\Vq=Old"),
            (InfoFile::Item{"ApplicationPath", "C:\\Apps\\Vq=Old"}));
  EXPECT_EQ(InfoFile::SplitInfoItem("ApplicationVersion = 1.3"),
            (InfoFile::Item{"ApplicationVersion ", " 1.3"}));
  EXPECT_EQ(InfoFile::SplitInfoItem("Key="), (InfoFile::Item{"Key", ""}));
  EXPECT_FALSE(InfoFile::SplitInfoItem("[Source Information]"));
  EXPECT_FALSE(InfoFile::SplitInfoItem(""));
}

TEST(InfoFileTest, QuotedAndUnquotedLinesReadTheSame) {
  InfoFile quoted("\"ApplicationVersion=1.3.0\"\r\n");
  InfoFile plain("ApplicationVersion=1.3.0\r\n");
  EXPECT_EQ(quoted.Last("ApplicationVersion"), "1.3.0");
  EXPECT_EQ(plain.Last("ApplicationVersion"), "1.3.0");
}

TEST(InfoFileTest, CommasEndUnquotedItemsButBelongToQuotedOnes) {
  InfoFile file(
      "ApplicationName=Vq, Deluxe\r\n"
      "\"ApplicationPath=C:\\A, B\"\r\n"
      "  Other=x,Second=y\r\n");
  EXPECT_EQ(file.Last("ApplicationName"), "Vq");
  EXPECT_EQ(file.Last("ApplicationPath"), "C:\\A, B");
  EXPECT_EQ(file.Last("Other"), "x");
  EXPECT_EQ(file.Last("Second"), "y");
  EXPECT_EQ(file.Items().size(), 4u);
}

TEST(InfoFileTest, FirstAndLastOccurrence) {
  InfoFile file("ApplicationVersion=1.3\r\nApplicationVersion=1.4\r\n");
  EXPECT_EQ(file.First("ApplicationVersion"), "1.3");
  EXPECT_EQ(file.Last("ApplicationVersion"), "1.4");
  EXPECT_FALSE(file.First("Missing"));
}

TEST(InfoFileTest, KeysAreCaseSensitiveAndExact) {
  InfoFile file("applicationversion=9\r\nApplicationVersion =8\r\n");
  EXPECT_FALSE(file.Last("ApplicationVersion"));
}

TEST(InfoFileTest, ReadsWhatTheUpdaterWritesAndOddLineEnds) {
  InfoFile written(
      "\"[Source Information]\"\r\n\"DeveloperName=Vq \"Prime\"\"\r\n"
      "\"ApplicationPath=/opt/vq\"\r\n\"[End Of File]\"\r\n");
  EXPECT_EQ(written.Last("ApplicationPath"), "/opt/vq");
  EXPECT_EQ(written.Last("DeveloperName"), "Vq ");

  InfoFile loneEnds("A=1\nB=2\rC=3   \r\n\"D=4");
  EXPECT_EQ(loneEnds.Last("A"), "1");
  EXPECT_EQ(loneEnds.Last("B"), "2");
  EXPECT_EQ(loneEnds.Last("C"), "3");
  EXPECT_EQ(loneEnds.Last("D"), "4");
}

TEST(InfoFileTest, ErrorPagesAndEmptyFilesHaveNoItems) {
  EXPECT_TRUE(InfoFile("").Items().empty());
  EXPECT_FALSE(InfoFile("<html><body>Not Found</body></html>\n").First("ApplicationVersion"));
}

}  // namespace
}  // namespace qz

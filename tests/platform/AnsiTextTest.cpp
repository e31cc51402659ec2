#include "platform/qt/AnsiText.h"

#include <gtest/gtest.h>

namespace qz {
namespace {

TEST(AnsiTextTest, ValidUtf8IsReadAsUtf8) {
  EXPECT_EQ(AnsiText::Decode("Caf\xC3\xA9"), QString::fromUtf8(u8"Caf\u00E9"));
  EXPECT_EQ(AnsiText::Decode("\xE2\x82\xAC 5"), QString(QChar(0x20AC)) + " 5");
  EXPECT_EQ(AnsiText::Decode("\xF0\x9F\x98\x80"), QString::fromUcs4(U"\U0001F600"));
  EXPECT_EQ(AnsiText::Decode("plain"), QString("plain"));
  EXPECT_EQ(AnsiText::Decode(""), QString());
}

TEST(AnsiTextTest, AnythingElseIsReadAsWindows1252) {
  EXPECT_EQ(AnsiText::Decode("Caf\xE9"), QString::fromUtf8(u8"Caf\u00E9"));
  // The range where Windows-1252 differs from Latin-1.
  EXPECT_EQ(AnsiText::Decode("\x80\x93\x94\x99\x9F"),
            QString::fromUtf16(u"\u20AC\u201C\u201D\u2122\u0178"));
  // Bytes that Windows-1252 leaves unassigned keep their own code points.
  EXPECT_EQ(AnsiText::Decode("\x81\x8D\x8F\x90\x9D"),
            QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D"));
  EXPECT_EQ(AnsiText::Decode("\xFF"), QString(QChar(0xFF)));
  // One bad byte makes the whole text Windows-1252, valid UTF-8 pairs included.
  EXPECT_EQ(AnsiText::Decode("\xC3\xA9 \xE9"), QString::fromUtf16(u"\u00C3\u00A9 \u00E9"));
}

TEST(AnsiTextTest, RejectsMalformedUtf8) {
  EXPECT_TRUE(AnsiText::IsValidUtf8("\xED\x9F\xBF"));       // U+D7FF, last before surrogates
  EXPECT_TRUE(AnsiText::IsValidUtf8("\xF4\x8F\xBF\xBF"));   // U+10FFFF
  EXPECT_FALSE(AnsiText::IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(AnsiText::IsValidUtf8("\xE0\x80\xAF"));      // overlong, three bytes
  EXPECT_FALSE(AnsiText::IsValidUtf8("\xED\xA0\x80"));      // a surrogate
  EXPECT_FALSE(AnsiText::IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(AnsiText::IsValidUtf8("\xE2\x82"));          // cut short at the end
  EXPECT_FALSE(AnsiText::IsValidUtf8("\xE2\x82x"));         // cut short inside
  EXPECT_FALSE(AnsiText::IsValidUtf8("\xA9"));              // a lone continuation byte
  EXPECT_FALSE(AnsiText::IsValidUtf8("\xF8\x88\x80\x80\x80"));
}

TEST(AnsiTextTest, DisplayTurnsEveryLineEndIntoOneBreak) {
  EXPECT_EQ(AnsiText::ForDisplay("53\r\nFile not found"), QString("53\nFile not found"));
  EXPECT_EQ(AnsiText::ForDisplay("a\r\n\r\nb"), QString("a\n\nb"));
  EXPECT_EQ(AnsiText::ForDisplay("a\rb\nc"), QString("a\nb\nc"));
  EXPECT_EQ(AnsiText::ForDisplay("Caf\xE9\r\n"), QString::fromUtf8(u8"Caf\u00E9\n"));
}

TEST(AnsiTextTest, EncodesTypedTextAsUtf8) {
  EXPECT_EQ(AnsiText::Encode(QString::fromUtf8(u8"p\u00E4ss")), "p\xC3\xA4ss");
  EXPECT_EQ(AnsiText::Encode(QString()), "");
}

}  // namespace
}  // namespace qz

#include <string>

#include <gtest/gtest.h>

#include "CodePage.h"
#include "TestSupport.h"
#include "UGeneral.h"

namespace {

TEST(CodePageTest, RecognisesWellFormedUtf8Only) {
  EXPECT_TRUE(IsValidUTF8(""));
  EXPECT_TRUE(IsValidUTF8("plain ascii"));
  EXPECT_TRUE(IsValidUTF8("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsValidUTF8("caf\xE9"));           // Windows-1252 é
  EXPECT_FALSE(IsValidUTF8("\xC0\xAF"));          // overlong
  EXPECT_FALSE(IsValidUTF8("\xE0\x80\xAF"));      // overlong
  EXPECT_FALSE(IsValidUTF8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUTF8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUTF8("\xE2\x82"));          // truncated
  EXPECT_FALSE(IsValidUTF8("\x80"));              // lone continuation
}

struct ConversionCase {
  std::string system;
  std::u16string utf16;
  std::string utf8;
};

void PrintTo(const ConversionCase& c, std::ostream* os) { *os << c.utf8; }

class SystemTextTest : public ::testing::TestWithParam<ConversionCase> {};

TEST_P(SystemTextTest, ConvertsUtf8AsItIsAndOtherTextAsWindows1252) {
  EXPECT_EQ(SystemToUTF16(GetParam().system), GetParam().utf16);
  EXPECT_EQ(SystemToUTF8(GetParam().system), GetParam().utf8);
  EXPECT_EQ(UTF16ToSystem(GetParam().utf16), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SystemTextTest,
    ::testing::Values(
        ConversionCase{"", u"", ""}, ConversionCase{"[[AUTHOR]]", u"[[AUTHOR]]", "[[AUTHOR]]"},
        ConversionCase{"caf\xC3\xA9 \xE2\x82\xAC", u"caf\u00E9 \u20AC", "caf\xC3\xA9 \xE2\x82\xAC"},
        ConversionCase{"\xF0\x9F\x98\x80", u"\U0001F600", "\xF0\x9F\x98\x80"},
        // Windows-1252: é, €, the curly quotes, ™, ÿ.
        ConversionCase{"caf\xE9 \x80 \x93\x94 \x99\xFF",
                       u"caf\u00E9 \u20AC \u201C\u201D \u2122\u00FF",
                       "caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9C\xE2\x80\x9D \xE2\x84\xA2\xC3\xBF"},
        // Unassigned Windows-1252 bytes stand for the C1 control of the same value.
        ConversionCase{"\x81\x8D\x8F\x90\x9D", u"\u0081\u008D\u008F\u0090\u009D",
                       "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"}));

TEST(CodePageTest, UnpairedSurrogatesBecomeReplacementCharacters) {
  const std::u16string broken = {u'a', static_cast<char16_t>(0xD800), u'b',
                                 static_cast<char16_t>(0xDC00)};
  EXPECT_EQ(UTF16ToSystem(broken),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

TEST(CodePageTest, VariablesFilesInBothEncodingsGiveTheSameText) {
  TempDir dir;
  WriteFile(dir.File("utf8.dat"), "fp\r\n1^Caf\xC3\xA9^\xE2\x82\xAC 5^Text^1^0^Caf\xC3\xA9\r\n");
  WriteFile(dir.File("cp1252.dat"), "fp\r\n1^Caf\xE9^\x80 5^Text^1^0^Caf\xE9\r\n");
  TFormats utf8, cp1252;
  utf8.LoadAll(dir.File("utf8.dat"));
  cp1252.LoadAll(dir.File("cp1252.dat"));
  ASSERT_EQ(utf8.Count(), 1u);
  ASSERT_EQ(cp1252.Count(), 1u);
  EXPECT_EQ(SystemToUTF16(utf8.Objects(0).TaggedText), u"Caf\u00E9");
  EXPECT_EQ(SystemToUTF16(cp1252.Objects(0).TaggedText), u"Caf\u00E9");
  EXPECT_EQ(SystemToUTF16(cp1252.Objects(0).Value), SystemToUTF16(utf8.Objects(0).Value));
  EXPECT_EQ(SystemToUTF8(cp1252.Objects(0).Value), utf8.Objects(0).Value);
  // Read once as a whole: the records hold the same UTF-8 bytes.
  EXPECT_EQ(cp1252.Objects(0).TaggedText, utf8.Objects(0).TaggedText);
  EXPECT_EQ(cp1252.Objects(0).VariableName, utf8.Objects(0).VariableName);
}

TEST(CodePageTest, Utf8InsideTheProgramConvertsWithoutGuessing) {
  EXPECT_EQ(UTF8ToUTF16("Caf\xC3\xA9 \xF0\x9F\x98\x80"), u"Caf\u00E9 \U0001F600");
  // Stray bytes are not re-read as Windows-1252: that was decided for the file already.
  EXPECT_EQ(UTF8ToUTF16("a\xE9z\xC3"), u"a\uFFFDz\uFFFD");
  EXPECT_EQ(FileTextToUTF8("\xC3\xA9 \xE9"), "\xC3\x83\xC2\xA9 \xC3\xA9");
}

}  // namespace

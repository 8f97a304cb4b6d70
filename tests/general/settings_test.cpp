#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "Settings.h"
#include "TestSupport.h"

namespace {

struct ProfileCase {
  const char* name;
  std::string file;
  std::string expected;
};

void PrintTo(const ProfileCase& c, std::ostream* os) { *os << c.name; }

class AffiliateIDTest : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(AffiliateIDTest, FollowsTheProfileFileRules) {
  TempDir dir;
  WriteFile(dir.File("dbconfig.dat"), GetParam().file);
  EXPECT_EQ(ReadAffiliateID(dir.Folder()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AffiliateIDTest,
    ::testing::Values(
        ProfileCase{"Plain", "[Settings]\r\nAffiliateID=ann42\r\n", "ann42"},
        ProfileCase{"LfOnly", "[Settings]\nAffiliateID=ann42", "ann42"},
        ProfileCase{"OtherLetterCase", "[sETTINGS]\r\naffiliateid=ann42\r\n", "ann42"},
        ProfileCase{"BlanksAroundNamesAndValue",
                    "  [ Settings ]  \r\n\t AffiliateID \t=  ann 42 \t\r\n", "ann 42"},
        ProfileCase{"EmptyValueIsNotTheDefault", "[Settings]\r\nAffiliateID=\r\n", ""},
        ProfileCase{"OnlyBlanksIsEmpty", "[Settings]\r\nAffiliateID=   \r\n", ""},
        ProfileCase{"DoubleQuotesRemoved", "[Settings]\r\nAffiliateID=\"ann 42\"\r\n", "ann 42"},
        ProfileCase{"SingleQuotesRemoved", "[Settings]\r\nAffiliateID=' ann '\r\n", " ann "},
        ProfileCase{"OnlyOnePairRemoved", "[Settings]\r\nAffiliateID=\"\"ann\"\"\r\n", "\"ann\""},
        ProfileCase{"UnmatchedQuotesKept", "[Settings]\r\nAffiliateID=\"ann'\r\n", "\"ann'"},
        ProfileCase{"LoneQuoteKept", "[Settings]\r\nAffiliateID=\"\r\n", "\""},
        ProfileCase{"EqualsInValueKept", "[Settings]\r\nAffiliateID=a=b\r\n", "a=b"},
        ProfileCase{"KeyInOtherSectionIgnored",
                    "[Other]\r\nAffiliateID=wrong\r\n[Settings]\r\nAffiliateID=right\r\n", "right"},
        ProfileCase{"FirstKeyWins", "[Settings]\r\nAffiliateID=first\r\nAffiliateID=second\r\n",
                    "first"},
        ProfileCase{"SectionMissing", "[Other]\r\nAffiliateID=wrong\r\n", "harrowfield"},
        ProfileCase{"KeyMissing", "[Settings]\r\nAffiliate=wrong\r\nAffiliateIDs=x\r\n",
                    "harrowfield"},
        ProfileCase{"KeyBeforeAnySection", "AffiliateID=wrong\r\n[Settings]\r\n", "harrowfield"},
        ProfileCase{"CommentedOut", "[Settings]\r\n;AffiliateID=wrong\r\n", "harrowfield"},
        ProfileCase{"Utf8ByteOrderMark", "\xEF\xBB\xBF[Settings]\r\nAffiliateID=ann\r\n", "ann"},
        ProfileCase{"EmptyFile", "", "harrowfield"},
        ProfileCase{"JunkAndKeyWithoutEquals",
                    "\xff[\r\n=\r\n[]\r\n=x\r\n[Settings]\r\nAffiliateID\r\n", "harrowfield"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(AffiliateIDTest, MissingOrUnreadableFileGivesTheDefault) {
  TempDir dir;
  EXPECT_EQ(ReadAffiliateID(dir.Folder()), "harrowfield");
  EXPECT_EQ(ReadAffiliateID(dir.File("no-such-folder")), "harrowfield");
  ASSERT_EQ(::mkfifo(dir.File("dbconfig.dat").c_str(), 0600), 0);
  EXPECT_EQ(ReadAffiliateID(dir.Folder()), "harrowfield");
}

TEST(AffiliateIDTest, FolderWithoutTrailingSeparatorWorks) {
  TempDir dir;
  WriteFile(dir.File("dbconfig.dat"), "[Settings]\nAffiliateID=x\n");
  std::string folder = dir.Folder();
  folder.pop_back();
  EXPECT_EQ(ReadAffiliateID(folder), "x");
}

TEST(ProfileStringTest, ValueIsCutAt2047BytesWithoutSplittingAUtf8Character) {
  TempDir dir;
  const std::string path = dir.File("x.ini");
  WriteFile(path, "[S]\nK=" + std::string(3000, 'a') + "\n");
  EXPECT_EQ(ReadProfileString(path, "s", "k", "d"), std::string(2047, 'a'));

  // "é" is two bytes; 2046 ASCII bytes + "é" would split it at byte 2047.
  WriteFile(path, "[S]\nK=" + std::string(2046, 'a') + "\xC3\xA9tail\n");
  EXPECT_EQ(ReadProfileString(path, "S", "K", "d"), std::string(2046, 'a'));

  // Quotes go before the cut.
  WriteFile(path, "[S]\nK=\"" + std::string(2047, 'b') + "\"\n");
  EXPECT_EQ(ReadProfileString(path, "S", "K", "d"), std::string(2047, 'b'));
}

}  // namespace

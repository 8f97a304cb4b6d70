#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "PackageCheck.h"
#include "TestSupport.h"
#include "UGeneral.h"
#include "md5.h"

namespace {

const std::string kPdfBytes = "%PDF-1.4\n% placeholder\n";

std::string Fingerprint() { return MD5ToHex(MD5Bytes(kPdfBytes.data(), kPdfBytes.size())); }

class PackageCheckTest : public ::testing::Test {
 protected:
  std::string VariablesPath() const { return dir_.File("variables.dat"); }
  std::string PdfPath() const { return dir_.File("file.dat"); }
  PackageCheckResult Check() const { return CheckPackage(dir_.Folder(), PdfPath()); }

  TempDir dir_;
};

TEST_F(PackageCheckTest, MatchingPackagePasses) {
  WriteFile(PdfPath(), kPdfBytes);
  WriteFile(VariablesPath(), Fingerprint() + "\r\n1^[[A]]^a^Text^1^0^A\r\n");
  const PackageCheckResult result = Check();
  EXPECT_TRUE(result.ok);
  EXPECT_EQ(result.message, "");
  // Any line break style, or none, after the fingerprint.
  WriteFile(VariablesPath(), Fingerprint());
  EXPECT_TRUE(Check().ok);
  WriteFile(VariablesPath(), Fingerprint() + "\r");
  EXPECT_TRUE(Check().ok);
}

TEST_F(PackageCheckTest, TestsRunInOrderAndTheFirstFailureGivesItsMessage) {
  // Neither file: only the variables file is reported.
  PackageCheckResult result = Check();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message,
            "Your variables configuration file don't exists. Please reinstall again!");

  // A folder named like the variables file is no file.
  ASSERT_EQ(::mkdir(VariablesPath().c_str(), 0700), 0);
  WriteFile(PdfPath(), kPdfBytes);
  EXPECT_EQ(Check().message, kMissingVariablesFileMessage);
  ASSERT_EQ(::rmdir(VariablesPath().c_str()), 0);
  ASSERT_EQ(::remove(PdfPath().c_str()), 0);

  WriteFile(VariablesPath(), Fingerprint() + "\r\n");
  result = Check();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message, "Your rebrandable pdf don't exists. Please reinstall again!");

  WriteFile(PdfPath(), kPdfBytes + "changed");
  result = Check();
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.message,
            "You are attempting to rebrand another file. You can only rebrand a unique rebrandable "
            "pdf!");
}

TEST_F(PackageCheckTest, FingerprintLineMustMatchByteForByte) {
  WriteFile(PdfPath(), kPdfBytes);
  std::string upper = Fingerprint();
  for (char& c : upper) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  for (const std::string& line : {upper, Fingerprint() + " ", " " + Fingerprint(),
                                  "\xEF\xBB\xBF" + Fingerprint(), std::string("")}) {
    WriteFile(VariablesPath(), line + "\r\n");
    EXPECT_EQ(Check().message, kForeignPDFMessage) << line;
  }
  // An empty PDF has the empty digest, which a line of that digest matches.
  WriteFile(PdfPath(), "");
  WriteFile(VariablesPath(), "d41d8cd98f00b204e9800998ecf8427e\r\n");
  EXPECT_TRUE(Check().ok);
}

TEST_F(PackageCheckTest, VariablesFileWithoutAnyLineIsAFailureNamingTheFile) {
  WriteFile(PdfPath(), kPdfBytes);
  for (const std::string& content : {std::string(""), std::string("\0abc", 4)}) {
    WriteFile(VariablesPath(), content);
    try {
      Check();
      ADD_FAILURE() << "no failure";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(VariablesPath()), std::string::npos) << error.what();
    }
  }
}

TEST_F(PackageCheckTest, UnreadableVariablesFileIsAFailureNamingTheFile) {
  ASSERT_EQ(::mkfifo(VariablesPath().c_str(), 0600), 0);
  try {
    Check();
    ADD_FAILURE() << "no failure";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(VariablesPath()), std::string::npos) << error.what();
  }
}

// --- distinct variables ------------------------------------------------------------------------

struct DistinctCase {
  const char* name;
  std::vector<std::string> names;
  std::vector<std::size_t> firsts;
};

void PrintTo(const DistinctCase& c, std::ostream* os) { *os << c.name; }

class DistinctVariablesTest : public ::testing::TestWithParam<DistinctCase> {};

TEST_P(DistinctVariablesTest, KeepsTheFirstRecordOfEachNameIgnoringLetterCase) {
  TFormats list;
  for (const std::string& name : GetParam().names) {
    auto record = std::make_unique<TFormat>();
    record->VariableName = name;
    list.AddObject(name, std::move(record));
  }
  EXPECT_EQ(DistinctVariables(list), GetParam().firsts);
}

INSTANTIATE_TEST_SUITE_P(
    Names, DistinctVariablesTest,
    ::testing::Values(DistinctCase{"Empty", {}, {}},
                      DistinctCase{"RepeatedName", {"a", "b", "a"}, {0, 1}},
                      DistinctCase{"AsciiCase", {"Abc", "abc", "ABC", "abd"}, {0, 3}},
                      DistinctCase{"EmptyNamesAreOneVariable", {"", "x", ""}, {0, 1}},
                      DistinctCase{"BlanksCount", {"a", " a", "a "}, {0, 1, 2}},
                      DistinctCase{"Utf8Accented", {"\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"}, {0}},
                      DistinctCase{"Cyrillic", {"\xD0\x90\xD0\x91", "\xD0\xB0\xD0\xB1"}, {0}},
                      DistinctCase{
                          "Windows1252MatchesUtf8", {"\xC9t\xE9", "\xC3\xA9T\xC3\x89"}, {0}},
                      DistinctCase{"DifferentLettersStayApart", {"\xC3\xA9", "e"}, {0, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

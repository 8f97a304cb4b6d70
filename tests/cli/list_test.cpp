// `corvella list` run as a process on temporary packages.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "corvella_process.h"
#include "md5.h"

namespace {

const std::string kPdf = "%PDF-1.4\n% a stand-in PDF\n";

std::string FingerprintOf(const std::string& bytes) {
  return MD5ToHex(MD5Bytes(bytes.data(), bytes.size()));
}

class ListTest : public ::testing::Test {
 protected:
  void WritePackage(const std::string& records) {
    WriteFile(dir_.File("file.dat"), kPdf);
    WriteFile(dir_.File("variables.dat"), FingerprintOf(kPdf) + "\r\n" + records);
  }
  Outcome List() { return RunCorvella({"list", "--package", dir_.Folder()}); }

  TempDir dir_;
};

TEST_F(ListTest, PrintsEveryOccurrenceThenTheDistinctVariables) {
  WritePackage(
      "1^[[AUTHOR]]^Jane^Text^1^0^[[AUTHOR]]\r\n"
      "0^https://[[SITE]]/x^site.example^Link^1^3^[[SITE]]^\r\n"
      "\r\n"
      "1^[[author]]^Jane^Text^2^0^[[author]]\r\n");
  const Outcome outcome = List();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "corvella: package: " + dir_.Folder() + "\n") << "nothing but the package";
  EXPECT_EQ(outcome.out,
            "Occurrences: 3\n"
            "Enabled\tTagged text\tDefault value\tType\tPage\tLink handle\tVariable name\n"
            "1\t[[AUTHOR]]\tJane\tText\t1\t0\t[[AUTHOR]]\n"
            "0\thttps://[[SITE]]/x\tsite.example\tLink\t1\t3\t[[SITE]]\n"
            "1\t[[author]]\tJane\tText\t2\t0\t[[author]]\n"
            "\n"
            "Variables: 2\n"
            "Variable name\tDefault value\tType\tPage\n"
            "[[AUTHOR]]\tJane\tText\t1\n"
            "[[SITE]]\tsite.example\tLink\t1\n");
}

TEST_F(ListTest, Windows1252TextIsPrintedAsUtf8AndControlsAreEscaped) {
  WritePackage("1^Caf\xE9\t\x1b[31m^\x80 5\\^Text^1^0^N\r\n");
  const Outcome outcome = List();
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("1\tCaf\xC3\xA9\\t\\x1B[31m\t\xE2\x82\xAC 5\\\\\tText\t1\t0\tN\n"),
            std::string::npos)
      << outcome.out;
}

TEST_F(ListTest, PackageCheckFailuresGoToStderrWithStatus2) {
  const std::string package = "corvella: package: " + dir_.Folder() + "\ncorvella: ";
  Outcome outcome = List();
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.out, "");
  EXPECT_EQ(outcome.err,
            package + "Your variables configuration file don't exists. Please reinstall again!\n");

  WriteFile(dir_.File("variables.dat"), FingerprintOf(kPdf) + "\r\n");
  outcome = List();
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err, package + "Your rebrandable pdf don't exists. Please reinstall again!\n");

  WriteFile(dir_.File("file.dat"), kPdf + "tampered");
  outcome = List();
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.err, package +
                             "You are attempting to rebrand another file. You can only rebrand a "
                             "unique rebrandable pdf!\n");
}

TEST_F(ListTest, VariablesFileWithoutALineIsAnUnexpectedErrorNamingIt) {
  WriteFile(dir_.File("file.dat"), kPdf);
  WriteFile(dir_.File("variables.dat"), "");
  const Outcome outcome = List();
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find(dir_.File("variables.dat")), std::string::npos) << outcome.err;
}

TEST_F(ListTest, JunkVariablesFileListsWithoutCrashing) {
  std::string junk;
  for (int i = 0; i < 100000; ++i) {
    junk += static_cast<char>((i * 7919) % 251 + 1);  // no NUL, every other byte value
  }
  WritePackage(junk);
  const Outcome outcome = List();
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("Variables: "), std::string::npos);
}

TEST(ListDefaultPackageTest, WithoutAnOptionListsThePackageInTheProgramFolder) {
  // The build puts the sample package beside the program; the test's folder holds none.
  const Outcome outcome = RunCorvella({"list"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("Occurrences: "), std::string::npos);
  const std::string programFolder =
      std::string(CORVELLA_EXE).substr(0, std::string(CORVELLA_EXE).rfind('/') + 1);
  EXPECT_NE(outcome.err.find("corvella: package: " + programFolder + "\n"), std::string::npos)
      << outcome.err;
}

TEST_F(ListTest, WithoutAnOptionThePackageInTheCurrentFolderIsUsed) {
  WritePackage("1^[[HERE]]^x^Text^1^0^HERE\r\n");
  const Outcome outcome = RunCorvella({"list"}, dir_.Folder());
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.out.find("[[HERE]]"), std::string::npos) << outcome.out;
  EXPECT_NE(outcome.err.find("corvella: package: " + dir_.Folder() + "\n"), std::string::npos)
      << outcome.err;

  // Half a package is still the one meant: its check says what is missing.
  std::filesystem::remove(dir_.File("variables.dat"));
  const Outcome half = RunCorvella({"list"}, dir_.Folder());
  EXPECT_EQ(half.status, 2);
  EXPECT_NE(half.err.find("Your variables configuration file don't exists"), std::string::npos)
      << half.err;
}

struct UsageCase {
  const char* name;
  std::vector<std::string> arguments;
  int status;
  const char* outputHas;  // on stdout when the status is 0, else on stderr
};

void PrintTo(const UsageCase& c, std::ostream* os) { *os << c.name; }

class UsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageTest, ExitStatusAndMessage) {
  const Outcome outcome = RunCorvella(GetParam().arguments);
  EXPECT_EQ(outcome.status, GetParam().status) << outcome.out << outcome.err;
  const std::string& text = GetParam().status == 0 ? outcome.out : outcome.err;
  EXPECT_NE(text.find(GetParam().outputHas), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, UsageTest,
    ::testing::Values(
        UsageCase{"Help", {"--help"}, 0, "Usage: corvella COMMAND"},
        UsageCase{"ListHelp", {"list", "--help"}, 0, "Usage: corvella list [--package DIR]"},
        UsageCase{"NoCommand", {}, 2, "no command"},
        UsageCase{"UnknownCommand", {"frobnicate"}, 2, "unknown command 'frobnicate'"},
        UsageCase{"PackageWithoutValue", {"list", "--package"}, 2, "needs a value"},
        UsageCase{"EmptyPackage", {"list", "--package="}, 2, "needs a folder"},
        UsageCase{"ExtraArgument", {"list", "extra"}, 2, "unexpected argument 'extra'"},
        UsageCase{"Version", {"--version"}, 0, "corvella " CORVELLA_VERSION "\n"},
        UsageCase{"UnknownTopLevelOption", {"--frob"}, 2, "corvella: unknown option '--frob'"},
        UsageCase{"ListUnknownOption", {"list", "--frob"}, 2, "unknown option '--frob'"},
        UsageCase{"RebrandUnknownOption",
                  {"rebrand", "--output", "x.pdf", "--frob"},
                  2,
                  "unknown option '--frob'"},
        UsageCase{"UsageErrorsEndWithAPrefixedHint",
                  {"list", "--frob"},
                  2,
                  "\ncorvella: try 'corvella --help'\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

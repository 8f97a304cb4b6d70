// `corvella rebrand` and `corvella make-package` run as processes with the real core library on
// the sample e-book, judged with pdftotext.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "corvella_process.h"
#include "md5.h"

namespace {

namespace fs = std::filesystem;

const std::string kProgramFolder = fs::path(CORVELLA_EXE).parent_path().string() + "/";

std::string TextOf(const std::string& pdf) {
  std::string text;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(
      popen(("pdftotext -enc UTF-8 '" + pdf + "' - 2>/dev/null").c_str(), "r"), pclose);
  char buffer[4096];
  size_t got;
  while (pipe && (got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) text.append(buffer, got);
  return text;
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

TEST(RebrandCommandTest, SampleIsRebrandedWithTheGivenValuesAndDefaultsForTheRest) {
  TempDir dir;
  const std::string output = dir.File("out.pdf");
  WriteText(dir.File("values.txt"), "# example values\nWEBSITE=www.grow.example\n");
  const Outcome outcome =
      RunCorvella({"rebrand", "--output", output, "--set", "AUTHOR_NAME=Zoë Brontë", "--values",
                   dir.File("values.txt")});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(outcome.err.find("Rebranded PDF saved!"), std::string::npos) << outcome.err;
  const std::string text = TextOf(output);
  EXPECT_NE(text.find("A short guide by Zoë Brontë"), std::string::npos) << text;
  EXPECT_NE(text.find("brought to you by www.grow.example"), std::string::npos) << text;
  EXPECT_NE(text.find("jane@example.com"), std::string::npos) << "default kept:\n" << text;
  EXPECT_EQ(text.find("[["), std::string::npos) << text;
}

TEST(RebrandCommandTest, UnknownVariableIsAUsageErrorListingTheKnownOnes) {
  TempDir dir;
  const Outcome outcome =
      RunCorvella({"rebrand", "--output", dir.File("out.pdf"), "--set", "AUTHOR=x"});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_NE(outcome.err.find("unknown variable 'AUTHOR'"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("AUTHOR_NAME"), std::string::npos) << outcome.err;
  EXPECT_FALSE(fs::exists(dir.File("out.pdf")));
}

TEST(RebrandCommandTest, FailedRunExitsWithOneAndKeepsTheExistingOutput) {
  // A package whose PDF is no PDF at all, but whose fingerprint matches.
  TempDir package;
  const std::string notPdf = "this is not a PDF\n";
  WriteText(package.File("file.dat"), notPdf);
  WriteText(package.File("variables.dat"),
            MD5ToHex(MD5Bytes(notPdf.data(), notPdf.size())) + "\r\n1^[[A]]^a^Text^1^^A\r\n");
  const std::string output = package.File("old.pdf");
  WriteText(output, "previous output");
  const Outcome outcome =
      RunCorvella({"rebrand", "--package", package.Folder(), "--output", output});
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_NE(outcome.err.find("Cannot open the rebrandable PDF"), std::string::npos) << outcome.err;
  EXPECT_EQ(ReadFile(output), "previous output");
}

TEST(RebrandCommandTest, PackageThatFailsItsCheckExitsWithTwo) {
  TempDir package;
  const Outcome outcome =
      RunCorvella({"rebrand", "--package", package.Folder(), "--output", package.File("out.pdf")});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_NE(outcome.err.find("Your variables configuration file don't exists."), std::string::npos)
      << outcome.err;
}

TEST(MakePackageCommandTest, PackageOfTheSampleListsItsTagsAndLinksAndRebrands) {
  TempDir dir;
  const std::string folder = dir.File("package");
  const Outcome made =
      RunCorvella({"make-package", kProgramFolder + "file.dat", "--output", folder, "--link-token",
                   "AFFILIATE_ID", "--default", "EMAIL=me@example.org"});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string variables = ReadFile(folder + "/variables.dat");
  EXPECT_EQ(variables.substr(0, 32), ReadFile(kProgramFolder + "variables.dat").substr(0, 32))
      << "the fingerprint of the copied PDF";
  EXPECT_NE(variables.find("1^[[EMAIL]]^me@example.org^Text^1^^EMAIL^\r\n"), std::string::npos)
      << variables;
  EXPECT_NE(variables.find("^Link^2^0^AFFILIATE_ID^\r\n"), std::string::npos) << variables;

  const Outcome rebranded = RunCorvella({"rebrand", "--package", folder, "--output",
                                         dir.File("out.pdf"), "--set", "AFFILIATE_ID=me42"});
  ASSERT_EQ(rebranded.status, 0) << rebranded.err;
  EXPECT_NE(TextOf(dir.File("out.pdf")).find("me@example.org"), std::string::npos);
}

}  // namespace

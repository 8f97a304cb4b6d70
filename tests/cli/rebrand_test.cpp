// `corvella rebrand` and `corvella make-package` run as processes with the real core library on
// the sample e-book, judged with pdftotext.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

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

// The targets of the web links of a PDF, as the bytes the file holds.
std::vector<std::string> LinkTargets(const std::string& pdf) {
  QPDF document;
  document.processFile(pdf.c_str());
  std::vector<std::string> targets;
  for (auto& page : QPDFPageDocumentHelper(document).getAllPages()) {
    for (auto& annotation : page.getAnnotations("/Link")) {
      QPDFObjectHandle uri = annotation.getObjectHandle().getKey("/A").getKey("/URI");
      if (uri.isString()) targets.push_back(uri.getStringValue());
    }
  }
  return targets;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

TEST(RebrandCommandTest, SampleIsRebrandedWithTheGivenValuesAndDefaultsForTheRest) {
  TempDir dir;
  const std::string output = dir.File("out.pdf");
  // Written by hand: blanks around the name and "=" don't count, nor do indented comments.
  WriteText(dir.File("values.txt"),
            "# example values\n  # indented comment\n\n  WEBSITE \t=  www.grow.example\r\n");
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
  // The library's own message is a message too: on stderr with the prefix, none on stdout.
  EXPECT_EQ(outcome.out, "");
  EXPECT_NE(outcome.err.find("corvella: library: "), std::string::npos) << outcome.err;
  for (size_t at = 0; at < outcome.err.size(); at = outcome.err.find('\n', at) + 1) {
    EXPECT_EQ(outcome.err.compare(at, 10, "corvella: "), 0) << outcome.err.substr(at);
  }
}

TEST(RebrandCommandTest, StaleRecordsAreLeftOutNamedAndExitWithThree) {
  TempDir package;
  fs::copy_file(kProgramFolder + "file.dat", package.File("file.dat"));
  WriteText(package.File("variables.dat"),
            ReadFile(kProgramFolder + "variables.dat") +
                "\r\n1^[[AUTHOR_NAME]]^x^Text^99^^GONE_PAGE\r\n"
                "1^http://example.com/ID^x^Link^1^999^GONE_LINK\r\n");
  const std::string output = package.File("out.pdf");
  const Outcome outcome = RunCorvella({"rebrand", "--package", package.Folder(), "--output", output,
                                       "--set", "AUTHOR_NAME=Zoë Brontë"});
  EXPECT_EQ(outcome.status, 3) << outcome.err;
  EXPECT_NE(outcome.err.find("2 records were not applied"), std::string::npos) << outcome.err;
  EXPECT_NE(outcome.err.find("not applied: page 99, variable GONE_PAGE"), std::string::npos)
      << outcome.err;
  EXPECT_NE(outcome.err.find("not applied: page 1, variable GONE_LINK"), std::string::npos)
      << outcome.err;
  EXPECT_EQ(outcome.err.find("was not written"), std::string::npos) << outcome.err;
  EXPECT_NE(TextOf(output).find("A short guide by Zoë Brontë"), std::string::npos)
      << "the records that could be applied are";
}

// A package made on Windows: the variables file is Windows-1252 as a whole. Names typed on the
// command line (UTF-8) must match, and a value must join a link's old target into one UTF-8
// address.
TEST(RebrandCommandTest, Windows1252PackageTakesUtf8NamesAndValues) {
  TempDir package;
  fs::copy_file(kProgramFolder + "file.dat", package.File("file.dat"));
  std::string variables = ReadFile(kProgramFolder + "variables.dat");
  variables = Replaced(variables, "^AUTHOR_NAME^", "^CAF\xC9^");
  variables = Replaced(variables, "://", "://caf\xE9.");
  ASSERT_NE(variables.find("caf\xE9."), std::string::npos) << "the sample has a link";
  WriteText(package.File("variables.dat"), variables);
  const std::string output = package.File("out.pdf");
  const Outcome outcome =
      RunCorvella({"rebrand", "--package", package.Folder(), "--output", output, "--set",
                   "CAF\xC3\x89=Zo\xC3\xAB", "--set", "AFFILIATE_ID=Jos\xC3\xA9"});
  ASSERT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_NE(TextOf(output).find("A short guide by Zo\xC3\xAB"), std::string::npos);
  bool joined = false;
  for (const std::string& target : LinkTargets(output)) {
    if (target.find("://caf\xC3\xA9.") == std::string::npos) continue;
    joined = true;
    EXPECT_NE(target.find("Jos\xC3\xA9"), std::string::npos) << target;
    EXPECT_EQ(target.find("\xC3\x83"), std::string::npos) << "converted twice: " << target;
  }
  EXPECT_TRUE(joined) << "no rebranded link";
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

// /Annots with a null and a reference to a missing object before the first link: the handles
// make-package writes must be the library's, or the package can't be rebranded.
TEST(MakePackageCommandTest, AnnotsWithNullAndDanglingEntriesGiveHandlesTheRunAccepts) {
  TempDir dir;
  const std::string folder = dir.File("package");
  const Outcome made = RunCorvella(
      {"make-package", std::string(CORVELLA_FIXTURES_DIR) + "/cli/annots_null_dangling.pdf",
       "--output", folder, "--link-token", "TOKEN"});
  ASSERT_EQ(made.status, 0) << made.err;
  const std::string variables = ReadFile(folder + "/variables.dat");
  EXPECT_NE(variables.find("^http://shop.example/one?ref=TOKEN^TOKEN^Link^1^0^TOKEN^"),
            std::string::npos)
      << variables;
  EXPECT_NE(variables.find("^http://shop.example/two?ref=TOKEN^TOKEN^Link^2^2^TOKEN^"),
            std::string::npos)
      << variables;

  const std::string output = dir.File("out.pdf");
  const Outcome rebranded = RunCorvella({"rebrand", "--package", folder, "--output", output,
                                         "--set", "TOKEN=me42", "--set", "NAME=Ann"});
  ASSERT_EQ(rebranded.status, 0) << rebranded.err;
  EXPECT_EQ(LinkTargets(output), (std::vector<std::string>{"http://shop.example/one?ref=me42",
                                                           "http://shop.example/two?ref=me42"}));
  EXPECT_NE(TextOf(output).find("Written by Ann for you"), std::string::npos);
}

// An author's mistake is said and nothing is written: a pattern that matches nothing, a default
// for no variable, a token in no link.
TEST(MakePackageCommandTest, OptionsThatNameNothingAreReportedAndWriteNoPackage) {
  struct Case {
    const char* name;
    std::vector<std::string> options;
    const char* said;
  };
  const Case cases[] = {
      {"PatternMatchesNothing",
       {"--pattern", "<<[A-Z]+>>"},
       "--pattern '<<[A-Z]+>>' matches no text"},
      {"DefaultForNoVariable", {"--default", "AUTHOR=x"}, "--default AUTHOR=x names no variable"},
      {"TokenInNoLink", {"--link-token", "NOWHERE"}, "--link-token NOWHERE is in no link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    std::vector<std::string> arguments = {"make-package", kProgramFolder + "file.dat", "--output",
                                          dir.File("package")};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome made = RunCorvella(arguments);
    EXPECT_EQ(made.status, 1) << made.err;
    EXPECT_NE(made.err.find(std::string("corvella: warning: ") + c.said), std::string::npos)
        << made.err;
    EXPECT_FALSE(fs::exists(dir.File("package/variables.dat")));
  }
}

TEST(MakePackageCommandTest, UnreadablePdfIsASentenceNotALibraryException) {
  TempDir dir;
  WriteText(dir.File("broken.pdf"), "%PDF-1.4\nnot really\n");
  const Outcome made = RunCorvella({"make-package", dir.File("broken.pdf"), "--output",
                                    dir.File("package"), "--link-token", "X"});
  EXPECT_EQ(made.status, 1);
  EXPECT_NE(made.err.find("corvella: \"" + dir.File("broken.pdf") + "\" can't be read as a PDF"),
            std::string::npos)
      << made.err;
  EXPECT_FALSE(fs::exists(dir.File("package/variables.dat")));
}

}  // namespace

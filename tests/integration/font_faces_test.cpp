// The face a value is written in, through the whole run and the real core library, on PDFs
// of real producers: pdffonts must name the tag's own font when it can show the value, and
// otherwise the same design installed, in the tag's weight and slant, embedded as a subset
// with a ToUnicode map.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "RebrandRun.h"
#include "integration_support.h"

namespace {

using integration::TempDir;
namespace fs = std::filesystem;

struct FaceCase {
  std::string Fixture;
  std::string Tag;
  std::string Value;
  // PostScript name of the face the value must be written in (subset prefix aside); empty
  // when the tag's own font must write it and no font may be added.
  std::string Face;
};

void PrintTo(const FaceCase& c, std::ostream* out) { *out << c.Fixture << " " << c.Tag; }

class SilentObserver final : public RunObserver {
 public:
  void SetGaugeMax(int) override {}
  void SetGaugeValue(int) override {}
  void SetStatus(const std::string& text) override { Status = text; }
  std::string Status;
};

void RebrandOne(const fs::path& input, const FaceCase& c, const fs::path& output) {
  TFormats formats;
  auto record = std::make_unique<TFormat>();
  record->Enabled = true;
  record->TaggedText = c.Tag;
  record->Value = c.Value;
  record->Kind = "Text";
  record->Page = "1";
  record->LinkHandle = "0";
  record->VariableName = c.Tag;
  formats.AddObject(c.Tag, std::move(record));
  RunOptions options;
  options.PDFFileName = input.string();
  options.OutputFileName = output.string();
  options.LibraryName = CORVELLA_DYNAPDF_PATH;
  SilentObserver observer;
  ASSERT_TRUE(RunRebranding(options, formats, observer)) << observer.Status;
  ASSERT_EQ(observer.Status, kStatusSaved);
}

struct ListedFont {
  std::string Name;  // as pdffonts prints it, subset prefix included
  bool Embedded = false;
  bool Subset = false;
  bool ToUnicode = false;
};

// pdffonts' table: name, type words, encoding, then emb / sub / uni and the object number.
std::vector<ListedFont> Fonts(const fs::path& pdf) {
  const auto result = integration::RunProgram({"pdffonts", pdf.string()});
  std::vector<ListedFont> fonts;
  std::istringstream lines(result.Output);
  std::string line;
  int row = 0;
  while (std::getline(lines, line)) {
    if (++row <= 2) continue;  // heading and rule
    std::istringstream words(line);
    std::vector<std::string> fields;
    for (std::string word; words >> word;) fields.push_back(word);
    if (fields.size() < 6) continue;
    const size_t n = fields.size();
    fonts.push_back(
        {fields[0], fields[n - 5] == "yes", fields[n - 4] == "yes", fields[n - 3] == "yes"});
  }
  return fonts;
}

std::vector<ListedFont> AddedFonts(const fs::path& original, const fs::path& output) {
  std::set<std::string> before;
  for (const auto& font : Fonts(original)) before.insert(font.Name);
  std::vector<ListedFont> added;
  for (const auto& font : Fonts(output)) {
    if (!before.count(font.Name)) added.push_back(font);
  }
  return added;
}

std::string WithoutSubsetPrefix(const std::string& name) {
  return name.size() > 7 && name[6] == '+' ? name.substr(7) : name;
}

class ValueFace : public ::testing::TestWithParam<FaceCase> {};

TEST_P(ValueFace, PdffontsNamesTheTagsDesignInItsStyle) {
  const FaceCase& c = GetParam();
  const fs::path original = fs::path(CORVELLA_INTEGRATION_FIXTURES) / c.Fixture;
  TempDir work;
  const fs::path output = work.Path() / "rebranded.pdf";
  ASSERT_NO_FATAL_FAILURE(RebrandOne(original, c, output));

  bool valueShown = false;
  for (const auto& line : integration::PageLines(output, 1)) {
    valueShown = valueShown || line.find(c.Value) != std::string::npos;
  }
  EXPECT_TRUE(valueShown) << c.Value;

  const auto added = AddedFonts(original, output);
  if (c.Face.empty()) {
    for (const auto& font : added) ADD_FAILURE() << "font added: " << font.Name;
    return;
  }
  ASSERT_EQ(added.size(), 1u) << "one font for the value";
  EXPECT_EQ(WithoutSubsetPrefix(added[0].Name), c.Face);
  EXPECT_TRUE(added[0].Embedded && added[0].Subset && added[0].ToUnicode) << added[0].Name;
}

// Letters no subset of these fixtures holds, so the value needs an installed face.
const std::string kForeign = "\xC5\x81ucja W\xC3\xB3jcik";  // "Łucja Wójcik"

// Beyond the encodings of gropdf's standard fonts.
const std::string kCyrillic = "\xD0\x96\xD0\xB0\xD0\xBD\xD0\xBD\xD0\xB0";  // "Жанна"

const std::string kTimes = "pdftex_times.pdf";
const std::string kComputerModern = "pdftex_cm.pdf";
const std::string kGroff = "groff_faces.pdf";
const std::string kRoboto = "reportlab_roboto.pdf";

INSTANTIATE_TEST_SUITE_P(
    PdfTeXTimes, ValueFace,
    ::testing::Values(FaceCase{kTimes, "[[AUTHOR]]", kForeign, "NimbusRoman-Regular"},
                      FaceCase{kTimes, "[[BOLDTAG]]", kForeign, "NimbusRoman-Bold"},
                      FaceCase{kTimes, "[[ITALTAG]]", kForeign, "NimbusRoman-Italic"},
                      FaceCase{kTimes, "[[BOTHTAG]]", kForeign, "NimbusRoman-BoldItalic"},
                      FaceCase{kTimes, "[[MONOTAG]]", kForeign, "NimbusMonoPS-Regular"},
                      FaceCase{kTimes, "[[SANSTAG]]", kForeign, "NimbusSans-Regular"},
                      // Letters the subset holds: the tag's own font.
                      FaceCase{kTimes, "[[AUTHOR]]", "Rufio", ""},
                      FaceCase{kTimes, "[[AUTHOR]]", "Rufio for you", ""}));

INSTANTIATE_TEST_SUITE_P(
    PdfTeXComputerModern, ValueFace,
    ::testing::Values(FaceCase{kComputerModern, "[[AUTHOR]]", kForeign, "LMRoman10-Regular"},
                      FaceCase{kComputerModern, "[[BOLDTAG]]", kForeign, "LMRoman10-Bold"},
                      FaceCase{kComputerModern, "[[ITALTAG]]", kForeign, "LMRoman10-Italic"},
                      FaceCase{kComputerModern, "[[BOTHTAG]]", kForeign, "LMRoman10-BoldItalic"},
                      FaceCase{kComputerModern, "[[SLANTTAG]]", kForeign, "LMRomanSlant10-Regular"},
                      FaceCase{kComputerModern, "[[MONOTAG]]", kForeign, "LMMono10-Regular"},
                      FaceCase{kComputerModern, "[[SANSTAG]]", kForeign, "LMSans10-Regular"},
                      FaceCase{kComputerModern, "[[HEADTAG]]", kForeign, "LMRoman12-Bold"},
                      FaceCase{kComputerModern, "[[AUTHOR]]", "Rufio", ""},
                      // The subset has no space glyph: the spaces become shifts, the words
                      // stay in the tag's own font.
                      FaceCase{kComputerModern, "[[AUTHOR]]", "Rufio for you", ""}));

INSTANTIATE_TEST_SUITE_P(
    GroffBaseFonts, ValueFace,
    ::testing::Values(FaceCase{kGroff, "[[TR]]", kCyrillic, "NimbusRoman-Regular"},
                      FaceCase{kGroff, "[[TB]]", kCyrillic, "NimbusRoman-Bold"},
                      FaceCase{kGroff, "[[TI]]", kCyrillic, "NimbusRoman-Italic"},
                      FaceCase{kGroff, "[[TBI]]", kCyrillic, "NimbusRoman-BoldItalic"},
                      FaceCase{kGroff, "[[HR]]", kCyrillic, "NimbusSans-Regular"},
                      FaceCase{kGroff, "[[HB]]", kCyrillic, "NimbusSans-Bold"},
                      FaceCase{kGroff, "[[HI]]", kCyrillic, "NimbusSans-Italic"},
                      FaceCase{kGroff, "[[CR]]", kCyrillic, "NimbusMonoPS-Regular"},
                      FaceCase{kGroff, "[[CB]]", kCyrillic, "NimbusMonoPS-Bold"},
                      // A standard font not embedded shows every character its encoding
                      // reaches (gropdf's reaches Polish letters, not Cyrillic).
                      FaceCase{kGroff, "[[TB]]", "Quincy Jazz-Box", ""},
                      FaceCase{kGroff, "[[TR]]", kForeign, ""}));

INSTANTIATE_TEST_SUITE_P(
    ReportLabRoboto, ValueFace,
    ::testing::Values(FaceCase{kRoboto, "[[REGULAR]]", kForeign, "Roboto-Regular"},
                      FaceCase{kRoboto, "[[MEDIUM]]", kForeign, "Roboto-Medium"},
                      FaceCase{kRoboto, "[[MEDITAL]]", kForeign, "Roboto-MediumItalic"},
                      FaceCase{kRoboto, "[[BOLD]]", kForeign, "Roboto-Bold"},
                      FaceCase{kRoboto, "[[LIGHT]]", kForeign, "Roboto-Light"},
                      FaceCase{kRoboto, "[[ITALIC]]", kForeign, "Roboto-Italic"},
                      FaceCase{kRoboto, "[[REGULAR]]", "Laura Signe", ""}));

}  // namespace

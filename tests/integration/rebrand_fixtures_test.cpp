// Rebranding real PDFs from several producers through the whole run and the real core library.
// Each output is judged by outside tools: the text pdftotext reads, the pixels pdftoppm renders
// for the lines that held no tag, and qpdf's structural check.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "../locale_support.h"
#include "RebrandRun.h"
#include "integration_support.h"

namespace {

using integration::TempDir;
namespace fs = std::filesystem;

struct TagValue {
  int Page;
  std::string Tag;
  std::string Value;
};

struct RebrandCase {
  std::string Name;
  std::string Fixture;
  std::vector<TagValue> Records;
  // Why the engine cannot find the tag yet; empty when it must work.
  std::string KnownLimitation = {};
  // Why the rest of the line does not keep its distance from the value yet; empty when it must.
  std::string GapLimitation = {};
};

void PrintTo(const RebrandCase& c, std::ostream* out) { *out << c.Name; }

fs::path FixturePath(const std::string& name) {
  return fs::path(CORVELLA_INTEGRATION_FIXTURES) / name;
}

class StatusObserver final : public RunObserver {
 public:
  void SetGaugeMax(int) override {}
  void SetGaugeValue(int) override {}
  void SetStatus(const std::string& text) override { Status = text; }
  std::string Status;
};

// Runs the rebranding as the program does: one text record per (page, tag, value).
void Rebrand(const fs::path& input, const std::vector<TagValue>& records, const fs::path& output) {
  TFormats formats;
  for (const auto& r : records) {
    auto record = std::make_unique<TFormat>();
    record->Enabled = true;
    record->TaggedText = r.Tag;
    record->Value = r.Value;
    record->Kind = "Text";
    record->Page = std::to_string(r.Page);
    record->LinkHandle = "0";
    record->VariableName = r.Tag;
    formats.AddObject(r.Tag, std::move(record));
  }
  RunOptions options;
  options.PDFFileName = input.string();
  options.OutputFileName = output.string();
  options.LibraryName = CORVELLA_DYNAPDF_PATH;
  StatusObserver observer;
  ASSERT_TRUE(RunRebranding(options, formats, observer)) << observer.Status;
  ASSERT_EQ(observer.Status, kStatusSaved);
  ASSERT_TRUE(fs::exists(output));
}

void ExpectStructurallySound(const fs::path& pdf) {
  std::string report;
  EXPECT_TRUE(integration::QpdfCheckClean(pdf, report)) << report;
}

// Every distinct tag with the value it gets (the same tag always gets the same value here).
std::vector<std::pair<std::string, std::string>> DistinctTags(
    const std::vector<TagValue>& records) {
  std::vector<std::pair<std::string, std::string>> tags;
  std::set<std::string> seen;
  for (const auto& r : records) {
    if (seen.insert(r.Tag).second) tags.emplace_back(r.Tag, r.Value);
  }
  return tags;
}

std::string LastWord(const std::string& text) {
  const size_t end = text.find_last_not_of(' ');
  if (end == std::string::npos) return "";
  const size_t start = text.find_last_of(' ', end);
  return text.substr(start == std::string::npos ? 0 : start + 1, end - start);
}

// The white space after a tag survives: the word that followed the tag follows the value's last
// word at the same distance, so the rest of the line neither overlaps the value nor drifts.
void ExpectGapsAfterValueKept(const fs::path& original, const fs::path& output, int page,
                              const std::string& tag, const std::string& value) {
  const std::string valueEnd = LastWord(value);
  if (valueEnd.empty()) return;
  constexpr double kSameLine = 0.5;  // points
  constexpr double kSameGap = 0.25;  // points: well below any kerning pair
  const auto before = integration::PageWordLines(original, page);
  const auto after = integration::PageWordLines(output, page);
  for (const auto& line : before) {
    size_t seen = 0;  // occurrences of the tag on this line with a word after them
    for (size_t t = 0; t + 1 < line.size(); ++t) {
      if (line[t].Text != tag) continue;
      const double gap = line[t + 1].XMin - line[t].XMax;
      const std::string& follower = line[t + 1].Text;
      size_t found = 0;  // value ends met so far on the output line
      bool checked = false;
      for (const auto& out : after) {
        if (out.empty() || std::abs(out[0].YMin - line[t].YMin) > kSameLine) continue;
        for (size_t k = 0; k + 1 < out.size() && !checked; ++k) {
          if (out[k].Text != valueEnd || found++ != seen) continue;
          EXPECT_EQ(out[k + 1].Text, follower);
          EXPECT_NEAR(out[k + 1].XMin - out[k].XMax, gap, kSameGap)
              << "between \"" << valueEnd << "\" and \"" << follower << "\" (was after " << tag
              << ")";
          checked = true;
        }
      }
      EXPECT_TRUE(checked) << "no \"" << valueEnd << " " << follower << "\" on the line of " << tag;
      ++seen;
    }
  }
}

class RebrandedFixture : public ::testing::TestWithParam<RebrandCase> {};

// The text reads as the original with each tag replaced by its value, the rest of every tagged
// line following the value and every other line unchanged and in order; no pixel row outside
// the tagged lines changes.
TEST_P(RebrandedFixture, LinesReadWithValuesAndUntaggedLinesStay) {
  const RebrandCase& c = GetParam();
  if (!c.KnownLimitation.empty()) GTEST_SKIP() << c.KnownLimitation;
  const fs::path original = FixturePath(c.Fixture);
  TempDir work;
  const fs::path output = work.Path() / "rebranded.pdf";
  ASSERT_NO_FATAL_FAILURE(Rebrand(original, c.Records, output));
  ExpectStructurallySound(output);

  const int pages = integration::PageCount(original);
  ASSERT_EQ(integration::PageCount(output), pages);
  const auto tags = DistinctTags(c.Records);
  for (int page = 1; page <= pages; ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    std::vector<std::string> expected = integration::PageLines(original, page);
    std::vector<integration::RowBand> bands;
    for (const auto& [tag, value] : tags) {
      expected = integration::Substitute(expected, tag, value);
      const auto tagBands = integration::BandsOfWords(original, page, tag);
      bands.insert(bands.end(), tagBands.begin(), tagBands.end());
    }
    EXPECT_EQ(integration::PageLines(output, page), expected);

    const auto before = integration::RenderPage(original, page, work.Path());
    const auto after = integration::RenderPage(output, page, work.Path());
    constexpr int kTolerance = 8;
    EXPECT_EQ(integration::DifferingRowsOutside(before, after, bands, kTolerance),
              std::vector<int>{})
        << "pixel rows (" << integration::kRenderDpi << " dpi) changed outside the tagged lines";
  }
}

// The rest of every tagged line keeps the distance it had from the tag.
TEST_P(RebrandedFixture, RestOfLineKeepsItsGapAfterTheValue) {
  const RebrandCase& c = GetParam();
  if (!c.KnownLimitation.empty()) GTEST_SKIP() << c.KnownLimitation;
  if (!c.GapLimitation.empty()) GTEST_SKIP() << c.GapLimitation;
  const fs::path original = FixturePath(c.Fixture);
  TempDir work;
  const fs::path output = work.Path() / "rebranded.pdf";
  ASSERT_NO_FATAL_FAILURE(Rebrand(original, c.Records, output));
  const int pages = integration::PageCount(original);
  for (int page = 1; page <= pages; ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    for (const auto& [tag, value] : DistinctTags(c.Records)) {
      ExpectGapsAfterValueKept(original, output, page, tag, value);
    }
  }
}

const std::string kReportLab = "reportlab_tags.pdf";
const std::string kOperators = "qpdf_operators.pdf";
const std::string kGroff = "groff_tags.pdf";
const std::string kGhostscript = "gs_tags.pdf";

INSTANTIATE_TEST_SUITE_P(
    Producers, RebrandedFixture,
    ::testing::Values(
        // [[AUTHOR]] stands in the middle of one line, at the start of another and at the end of
        // a third; the value is longer, shorter, empty and equal to the tag.
        RebrandCase{
            "ValueLongerAtStartMiddleEnd", kReportLab, {{1, "[[AUTHOR]]", "Alexandra Montgomery"}}},
        RebrandCase{"ValueShorterAtStartMiddleEnd", kReportLab, {{1, "[[AUTHOR]]", "Al"}}},
        RebrandCase{"ValueEmptyAtStartMiddleEnd", kReportLab, {{1, "[[AUTHOR]]", ""}}},
        RebrandCase{"ValueEqualToTag", kReportLab, {{1, "[[AUTHOR]]", "[[AUTHOR]]"}}},
        RebrandCase{"BoldAndItalic",
                    kReportLab,
                    {{1, "[[BOLDTAG]]", "Heavy Words"}, {1, "[[ITALTAG]]", "Slanted"}}},
        RebrandCase{"TwiceOnOneLine", kReportLab, {{1, "[[NAME]]", "Kim Lee-Park"}}},
        RebrandCase{"FormXObjectOnEveryPage",
                    kReportLab,
                    {{1, "[[PUBLISHER]]", "Northwind Press"},
                     {2, "[[PUBLISHER]]", "Northwind Press"},
                     {3, "[[PUBLISHER]]", "Northwind Press"}}},
        RebrandCase{"KernedTJArray", kOperators, {{1, "[[PHONE]]", "555 0100"}}},
        RebrandCase{"SplitOverTwoOperators", kOperators, {{1, "[[SPLIT]]", "Hi"}}},
        RebrandCase{"CharacterAndWordSpacing", kOperators, {{1, "[[SPACED]]", "Wide value here"}}},
        RebrandCase{"WordGapsFromTJOffsets", kOperators, {{1, "[[GAP]]", "Gapless"}}},
        RebrandCase{"FlippedCoordinates", kOperators, {{1, "[[FLIP]]", "Upside"}}},
        // gropdf moves each glyph of a kerning pair with Td: [[WAY]] is three records in
        // roman, bold and italic.
        RebrandCase{"GroffCutsAtKerningPairs",
                    kGroff,
                    {{1, "[[WAY]]", "Vera Wang Taylor"}, {1, "[[BOOK]]", "Jo"}}},
        RebrandCase{"GroffKerningTighterThanHalfSpace", kGroff, {{1, "[[AVATAR]]", "Ava"}}},
        RebrandCase{"GhostscriptSubsetsLackNewGlyphs",
                    kGhostscript,
                    {{1, "[[WRITER]]", "Jazz Quartet"}, {1, "[[SPACER]]", "Kept"}}}),
    [](const ::testing::TestParamInfo<RebrandCase>& info) { return info.param.Name; });

struct SelfCase {
  std::string Fixture;
  std::vector<TagValue> Records;
};

void PrintTo(const SelfCase& c, std::ostream* out) { *out << c.Fixture; }

class RebrandedWithOwnText : public ::testing::TestWithParam<SelfCase> {};

// Every tag rebranded with its own text: each page renders as before, within antialiasing, and
// reads the same. The value is written as one run in the record's font, without the producer's
// kerning inside the tag, so only tags that their producer wrote without inner kerning take part.
TEST_P(RebrandedWithOwnText, RendersAsBefore) {
  const SelfCase& c = GetParam();
  const fs::path original = FixturePath(c.Fixture);
  TempDir work;
  const fs::path output = work.Path() / "same.pdf";
  ASSERT_NO_FATAL_FAILURE(Rebrand(original, c.Records, output));
  ExpectStructurallySound(output);

  const int pages = integration::PageCount(original);
  ASSERT_EQ(integration::PageCount(output), pages);
  for (int page = 1; page <= pages; ++page) {
    SCOPED_TRACE("page " + std::to_string(page));
    EXPECT_EQ(integration::PageLines(output, page), integration::PageLines(original, page));
    const auto before = integration::RenderPage(original, page, work.Path());
    const auto after = integration::RenderPage(output, page, work.Path());
    constexpr int kAntialiasTolerance = 48;
    EXPECT_EQ(integration::PixelsUnexplained(before, after, kAntialiasTolerance), 0);
  }
}

std::vector<TagValue> OwnText(int page, const std::vector<std::string>& tags) {
  std::vector<TagValue> records;
  for (const auto& tag : tags) records.push_back({page, tag, tag});
  return records;
}

INSTANTIATE_TEST_SUITE_P(
    Producers, RebrandedWithOwnText,
    ::testing::Values(SelfCase{kReportLab, OwnText(1, {"[[AUTHOR]]", "[[BOLDTAG]]", "[[ITALTAG]]",
                                                       "[[NAME]]", "[[PUBLISHER]]"})},
                      SelfCase{kOperators,
                               OwnText(1, {"[[SPLIT]]", "[[SPACED]]", "[[GAP]]", "[[FLIP]]"})},
                      SelfCase{kGroff, OwnText(1, {"[[BOOK]]"})},
                      SelfCase{kGhostscript, OwnText(1, {"[[WRITER]]", "[[SPACER]]"})}),
    [](const ::testing::TestParamInfo<SelfCase>& info) {
      return fs::path(info.param.Fixture).stem().string();
    });

}  // namespace

namespace {

// The file with its /ID made fixed and every stream and object written out plainly, so two
// outputs compare by what they hold.
std::string Normalized(const fs::path& pdf, const fs::path& work) {
  const fs::path plain = work / (pdf.stem().string() + ".qdf");
  const integration::CommandResult result = integration::RunProgram(
      {"qpdf", "--qdf", "--static-id", "--object-streams=disable", pdf.string(), plain.string()});
  EXPECT_EQ(result.ExitCode, 0) << result.Output;
  std::ifstream in(plain, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The window runs under the user's locale. A whole run there (removal, written text, fonts read
// and embedded) must write what it writes under C, byte for byte once the file's /ID is fixed.
TEST(RebrandUnderLocale, CommaDecimalAndTurkishLocalesWriteTheSameFile) {
  TempDir work;
  const std::vector<TagValue> records = {{1, "[[PHONE]]", "555 0100,5"},
                                         {1, "[[SPACED]]", "Wide value here"},
                                         {1, "[[GAP]]", "Gapless"}};
  const fs::path underC = work.Path() / "c.pdf";
  Rebrand(FixturePath(kOperators), records, underC);
  const std::string expected = Normalized(underC, work.Path());
  ASSERT_FALSE(expected.empty());
  for (const std::string& name : test_locale::Unusual()) {
    SCOPED_TRACE(name);
    test_locale::Scoped locale(name);
    if (!locale.Active()) {
      std::cout << "[ SKIPPED ] locale " << name << " can't be made here\n";
      continue;
    }
    const fs::path output = work.Path() / (name + ".pdf");
    Rebrand(FixturePath(kOperators), records, output);
    ExpectStructurallySound(output);
    EXPECT_EQ(Normalized(output, work.Path()) == expected, true) << "differs from the C locale";
  }
}

}  // namespace

// Font selection: family names as producers write them, system fonts through fontconfig with
// metric aliases but no generic last resort, and the look of a missing family kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "textout/font_name.h"
#include "textout/system_fonts.h"
#include "textout_support.h"

namespace {

using namespace pdfcore;
using textout_test::Latin1Font;
using textout_test::TextOutputFixture;

struct SystemCase {
  const char* family;
  int32_t style;
  const char* file;  // expected file name; null: nothing may be found
};

class SystemFamilyTest : public ::testing::TestWithParam<SystemCase> {};

TEST_P(SystemFamilyTest, ResolvesToTheFamilyOrItsMetricTwinOnly) {
  const SystemCase& c = GetParam();
  auto found = FindSystemFamily(c.family, c.style);
  if (c.file == nullptr) {
    EXPECT_FALSE(found.has_value()) << c.family << " -> " << found->path;
    return;
  }
  ASSERT_TRUE(found.has_value()) << c.family;
  EXPECT_EQ(std::filesystem::path(found->path).filename().string(), c.file);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SystemFamilyTest,
    ::testing::Values(SystemCase{"Arial", 0, "LiberationSans-Regular.ttf"},
                      SystemCase{"Helvetica", 0, "NimbusSans-Regular.otf"},
                      SystemCase{"Times New Roman", 0, "LiberationSerif-Regular.ttf"},
                      SystemCase{"Courier New", 0, "LiberationMono-Regular.ttf"},
                      SystemCase{"Calibri", 0, "Carlito-Regular.ttf"},
                      SystemCase{"Cambria", 0, "Caladea-Regular.ttf"},
                      SystemCase{"Arial", kStyleBold, "LiberationSans-Bold.ttf"},
                      SystemCase{"Courier New", kStyleItalic, "LiberationMono-Italic.ttf"},
                      SystemCase{"Times New Roman", 3, "LiberationSerif-BoldItalic.ttf"},
                      SystemCase{"Helvetica", 3, "NimbusSans-BoldItalic.otf"},
                      // fontconfig prefers the Type1 .pfb, which can't be embedded as a CID
                      // font; the OpenType file of the same family is taken instead.
                      SystemCase{"Helvetica Narrow", 0, "NimbusSansNarrow-Regular.otf"},
                      // Renames in fontconfig's own configuration, ahead of its generic
                      // fallbacks, are the same design.
                      SystemCase{"Nimbus Roman No9 L", kStyleBold, "NimbusRoman-Bold.otf"},
                      SystemCase{"Linux Biolinum", 0, "LinBiolinum_R.otf"},
                      // fontconfig answers these with DejaVu Sans: a generic match, refused.
                      SystemCase{"Verdana", 0, nullptr},
                      SystemCase{"Qwxzy Nonsense Grotesk", 0, nullptr},
                      SystemCase{"CMBX10", 0, nullptr}));

struct NameCase {
  const char* name;
  int32_t styleIn;
  const char* expectedCandidate;
  int32_t styleOut;
};

class FamilyNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(FamilyNameTest, GivesAFamilyAndStyle) {
  const NameCase& c = GetParam();
  FamilyRequest request = ParseFamilyName(c.name, c.styleIn);
  bool has = false;
  for (const auto& candidate : request.candidates) has = has || candidate == c.expectedCandidate;
  EXPECT_TRUE(has) << c.name << " lacks " << c.expectedCandidate;
  EXPECT_EQ(request.style, c.styleOut) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FamilyNameTest,
    ::testing::Values(NameCase{"Arial-BoldMT", 0, "Arial", kStyleBold},
                      NameCase{"TimesNewRomanPS-BoldItalicMT", 0, "Times New Roman", 3},
                      NameCase{"TimesNewRomanPSMT", 0, "Times New Roman", 0},
                      NameCase{"Helvetica-Oblique", 0, "Helvetica", kStyleItalic},
                      NameCase{"Times-Roman", 0, "Times", 0},
                      NameCase{"ABCDEF+Calibri,BoldItalic", 0, "Calibri", 3},
                      NameCase{"Courier New", kStyleBold, "Courier New", kStyleBold},
                      NameCase{"Arial Bold Italic", 0, "Arial", 3}));

TEST(FamilyName, RefusesEmptyAndOverlongNames) {
  EXPECT_TRUE(ParseFamilyName("", 0).candidates.empty());
  EXPECT_TRUE(ParseFamilyName(std::string(1000, 'A'), 0).candidates.empty());
}

struct LookCase {
  const char* name;
  int32_t flags;
  float italicAngle;
  bool bold, italic, serif, fixedPitch;
};

class FontLookTest : public ::testing::TestWithParam<LookCase> {};

TEST_P(FontLookTest, ReadsWeightSlantAndSerifFromNameAndDescriptor) {
  const LookCase& c = GetParam();
  TPDFFontInfo info{c.flags, c.name, PDF_FT_TYPE1, c.italicAngle};
  FontLook look = LookOfFont(info);
  EXPECT_EQ(look.Bold(), c.bold) << c.name;
  EXPECT_EQ(look.italic, c.italic) << c.name;
  EXPECT_EQ(look.serif, c.serif) << c.name;
  EXPECT_EQ(look.fixedPitch, c.fixedPitch) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FontLookTest,
    ::testing::Values(LookCase{"ABCDEF+CMBX10", 4, 0, true, false, true, false},
                      LookCase{"CMTI10", 4, -14.04f, false, true, true, false},
                      LookCase{"CMTT10", 4, 0, false, false, false, true},
                      LookCase{"Times-Bold", 0, 0, true, false, true, false},
                      LookCase{"Helvetica-Oblique", 0, 0, false, true, false, false},
                      LookCase{"Quorum", 0x2 | 0x40, 0, false, true, true, false},
                      LookCase{"Unknown", 0x1, 0, false, false, false, true}));

// Which system font a selection writes with: the BaseFont of the font embedded for a
// character the document font can't show.
class SelectionTest : public TextOutputFixture {
 protected:
  std::string EmbeddedBaseFont() {
    EXPECT_EQ(Write(40, 100, u"\u0416"), 0);  // Cyrillic: beyond the Latin-1 record font
    target->Flush(pdf);
    output->FinalizeFonts(sink);
    for (auto& object : pdf.getAllObjects()) {
      if (object.isDictionary() && object.getKey("/Subtype").isNameAndEquals("/Type0")) {
        return object.getKey("/BaseFont").getName();
      }
    }
    return {};
  }
};

TEST_F(SelectionTest, NonsenseOrOverlongFamilyFailsWithANotice) {
  EXPECT_LT(output->SetFont("Qwxzy Nonsense Grotesk", 0, 10, nullptr, sink), 0);
  EXPECT_LT(output->SetFont(std::string(1000, 'x'), 0, 10, nullptr, sink), 0);
  EXPECT_LT(output->SetFallbackFont(std::string(1000, 'x'), 0, 10, nullptr, sink), 0);
  EXPECT_GE(sink.reports.size(), 3u);
}

TEST_F(SelectionTest, ArialAndCourierNewAlwaysResolve) {
  EXPECT_GE(output->SetFallbackFont("Arial", 0, 10, nullptr, sink), 0);
  EXPECT_GE(output->SetFallbackFont("Courier New", 3, 10, nullptr, sink), 0);
}

TEST_F(SelectionTest, MissingFamilyOfTheRecordFontKeepsItsLook) {
  Latin1Font record("ABCDEF+Minion-Bold");
  ASSERT_GE(output->SetFont("Minion-Bold", 0, 10, &record, sink), 0);
  EXPECT_NE(EmbeddedBaseFont().find("LiberationSerif-Bold"), std::string::npos);
}

TEST_F(SelectionTest, FallbackToArialKeepsSerifAndSlantOfTheRecordFont) {
  Latin1Font record("ABCDEF+Minion-Italic");
  ASSERT_LT(output->SetFont("Minion-Italic", 0, 10, nullptr, sink), 0);
  ASSERT_GE(output->SetFallbackFont("Arial", 0, 10, &record, sink), 0);
  EXPECT_NE(EmbeddedBaseFont().find("LiberationSerif-Italic"), std::string::npos);
}

// A character the chosen face lacks comes from a face of the same kind: a monospaced one for a
// monospaced tag.
TEST_F(SelectionTest, CharacterBeyondTheFaceComesFromOneOfTheSameKind) {
  Latin1Font record("Courier");
  ASSERT_GE(output->SetFont("Courier", 0, 10, &record, sink), 0);
  EXPECT_EQ(Write(40, 100, u"\u4E2D"), 0);
  target->Flush(pdf);
  output->FinalizeFonts(sink);
  std::string names;
  for (auto& object : pdf.getAllObjects()) {
    if (object.isDictionary() && object.getKey("/Subtype").isNameAndEquals("/Type0")) {
      names += object.getKey("/BaseFont").getName() + " ";
    }
  }
  EXPECT_NE(names.find("WenQuanYiMicroHeiMono"), std::string::npos) << names;
}

TEST_F(SelectionTest, InstalledFamilyIsUsedInTheStyleAskedFor) {
  Latin1Font record("Helvetica-Oblique");
  ASSERT_GE(output->SetFont("Helvetica-Oblique", kStyleItalic, 10, &record, sink), 0);
  EXPECT_NE(EmbeddedBaseFont().find("NimbusSans-Italic"), std::string::npos);
}

}  // namespace

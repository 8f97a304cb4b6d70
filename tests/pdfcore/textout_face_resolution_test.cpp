// The face a value is written in when the document's font can't show it, for the font names
// and descriptors real e-books carry, against the real fontconfig and the fonts the setup
// installs: the same design where Debian has it, else a face of the same kind, and always the
// weight and slant of the original.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include <qpdf/QPDF.hh>

#include "textout/font_name.h"
#include "textout/system_fonts.h"
#include "textout_support.h"

namespace {

using namespace pdfcore;

struct FaceCase {
  const char* fontName;  // BaseFont as the PDF writes it
  int32_t flags = 0;     // descriptor /Flags
  float italicAngle = 0;
  FontStyleFacts facts = {};   // what the descriptor and the embedded program add
  const char* face = nullptr;  // PostScript name of the face expected
  int weight = 400;
  bool italic = false;
};

void PrintTo(const FaceCase& c, std::ostream* out) { *out << c.fontName; }

FontStyleFacts Weighing(int weight) {
  FontStyleFacts facts;
  facts.weight = weight;
  return facts;
}

FontStyleFacts PanoseSerif() {
  FontStyleFacts facts;
  facts.serif = 1;
  return facts;
}

// The selection's own composition: the family read from the name, the look from name,
// descriptor and program, the face found for both.
std::optional<SystemFontFile> FaceFor(const FaceCase& c) {
  TPDFFontInfo info{c.flags, c.fontName, PDF_FT_TYPE1, c.italicAngle};
  return ResolveFace(ParseFamilyName(c.fontName, 0), LookOfFont(info, c.facts), true);
}

class FaceResolution : public ::testing::TestWithParam<FaceCase> {};

TEST_P(FaceResolution, ChoosesTheDesignInItsWeightAndSlant) {
  const FaceCase& c = GetParam();
  auto face = FaceFor(c);
  ASSERT_TRUE(face.has_value()) << c.fontName;
  EXPECT_EQ(face->postScriptName, c.face) << c.fontName << " -> " << face->path;
  EXPECT_EQ(face->weight, c.weight) << c.fontName;
  EXPECT_EQ(face->italic, c.italic) << c.fontName;
}

constexpr int32_t kSerif = 0x2, kFixed = 0x1, kItalic = 0x40, kForceBold = 0x40000;

INSTANTIATE_TEST_SUITE_P(
    RenamedDesigns, FaceResolution,
    ::testing::Values(
        // pdfTeX with \usepackage{times}, and Ghostscript: URW's old names.
        FaceCase{"URQYIQ+NimbusRomNo9L-Regu", kSerif, 0, {}, "NimbusRoman-Regular", 400},
        FaceCase{"OABTBY+NimbusRomNo9L-Medi", kSerif, 0, {}, "NimbusRoman-Bold", 700},
        FaceCase{"MWNLCT+NimbusRomNo9L-ReguItal",
                 kSerif | kItalic,
                 -15.5f,
                 {},
                 "NimbusRoman-Italic",
                 400,
                 true},
        FaceCase{"NJNGXW+NimbusRomNo9L-MediItal",
                 kSerif | kItalic,
                 -15.3f,
                 {},
                 "NimbusRoman-BoldItalic",
                 700,
                 true},
        FaceCase{"VIEFMF+NimbusMonL-Regu", kFixed, 0, {}, "NimbusMonoPS-Regular", 400},
        FaceCase{"NimbusSanL-Bold", 0, 0, {}, "NimbusSans-Bold", 700},
        FaceCase{"NimbusSanL-ReguCond", 0, 0, {}, "NimbusSansNarrow-Regular", 400},
        FaceCase{"URWPalladioL-Roma", kSerif, 0, {}, "P052-Roman", 400},
        FaceCase{"URWPalladioL-Bold", kSerif, 0, {}, "P052-Bold", 700},
        FaceCase{"CenturySchL-Ital", kSerif, -16, {}, "C059-Italic", 400, true},
        FaceCase{"URWBookmanL-DemiBold", kSerif, 0, {}, "URWBookman-Demi", 600},
        // TeX's Computer Modern and cm-super: Latin Modern, in the same optical size.
        FaceCase{"SLGLWN+CMR10", 4, 0, {}, "LMRoman10-Regular", 400},
        FaceCase{"KPTSWR+CMBX12", 4, 0, {}, "LMRoman12-Bold", 700},
        FaceCase{"QBYHSE+CMTI10", 4, -14.04f, {}, "LMRoman10-Italic", 400, true},
        FaceCase{"VHHAYW+CMBXTI10", 4, -14.04f, {}, "LMRoman10-BoldItalic", 700, true},
        FaceCase{"FUNFFH+CMSL10", 4, -9.46f, {}, "LMRomanSlant10-Regular", 400, true},
        FaceCase{"VYDMJY+CMTT10", 4, 0, {}, "LMMono10-Regular", 400},
        FaceCase{"ZFJSKU+CMSS10", 4, 0, {}, "LMSans10-Regular", 400},
        FaceCase{"SFRM1000", 4, 0, {}, "LMRoman10-Regular", 400},
        FaceCase{"SFBX1200", 4, 0, {}, "LMRoman12-Bold", 700},
        FaceCase{"LMRoman10-Bold", 4, 0, {}, "LMRoman10-Bold", 700},
        // Linux Libertine and Biolinum: style letters run together with the family.
        FaceCase{"LinBiolinumOB", 0, 0, {}, "LinBiolinumOB", 700},
        FaceCase{"LinBiolinumTB", 0, 0, {}, "LinBiolinumOB", 700},
        FaceCase{"LinLibertineTI", kSerif, -12, {}, "LinLibertineOI", 400, true},
        FaceCase{"LinLibertineOZ", kSerif, 0, {}, "LinLibertineOZ", 600}),
    [](const auto& info) { return "Row" + std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    InstalledDesigns, FaceResolution,
    ::testing::Values(
        // pdfmake, Google Docs, Canva: Roboto in its middle weights.
        FaceCase{"AAAAAA+Roboto-Medium", 4, 0, Weighing(500), "Roboto-Medium", 500},
        FaceCase{
            "AAAAAA+Roboto-MediumItalic", 4 | kItalic, -12, {}, "Roboto-MediumItalic", 500, true},
        FaceCase{"Roboto-Black", 4, 0, {}, "Roboto-Black", 900},
        FaceCase{"OpenSans-Semibold", 4, 0, {}, "OpenSans-Semibold", 600},
        FaceCase{"Lato-Heavy", 4, 0, {}, "Lato-Heavy", 800},
        FaceCase{"TeXGyreTermes-Bold", kSerif, 0, {}, "TeXGyreTermes-Bold", 700},
        FaceCase{"BAAAAA+DejaVuSans-Bold", 4, 0, {}, "DejaVuSans-Bold", 700},
        // Word and LibreOffice: Windows families, their metric twins.
        FaceCase{"Arial-BoldMT", 0, 0, {}, "LiberationSans-Bold", 700},
        FaceCase{"TimesNewRomanPS-BoldItalicMT",
                 kSerif,
                 -15,
                 {},
                 "LiberationSerif-BoldItalic",
                 700,
                 true},
        FaceCase{"CourierNewPSMT", kFixed, 0, {}, "LiberationMono", 400},
        FaceCase{"ABCDEF+Calibri-Bold", 4, 0, {}, "Carlito-Bold", 700},
        FaceCase{"ABCDEF+Cambria,Italic", 4, 0, {}, "Caladea-Italic", 400, true},
        // The standard fonts: the URW designs fontconfig aliases them to.
        FaceCase{"Times-Roman", kSerif, 0, {}, "NimbusRoman-Regular", 400},
        FaceCase{"Times-BoldItalic", kSerif, -15, {}, "NimbusRoman-BoldItalic", 700, true},
        FaceCase{"Helvetica-Oblique", 0, -12, {}, "NimbusSans-Italic", 400, true},
        FaceCase{"Courier-Bold", kFixed, 0, {}, "NimbusMonoPS-Bold", 700},
        // ForceBold on a name that says nothing of the weight.
        FaceCase{"Helvetica", kForceBold, 0, {}, "NimbusSans-Bold", 700}),
    [](const auto& info) { return "Row" + std::to_string(info.index); });

INSTANTIATE_TEST_SUITE_P(
    SameKind, FaceResolution,
    ::testing::Values(
        // Families Debian doesn't have: a face of the same kind, the metric-compatible first.
        FaceCase{"Verdana-Bold", 0, 0, {}, "LiberationSans-Bold", 700},
        FaceCase{"Georgia-Italic", kSerif, -11, {}, "LiberationSerif-Italic", 400, true},
        FaceCase{"Consolas", kFixed, 0, {}, "LiberationMono", 400},
        // A medium weight is never written regular.
        FaceCase{"Frutiger-Medium", 0, 0, {}, "LiberationSans-Bold", 700},
        // Nothing in the name: the descriptor and the program tell the look.
        FaceCase{"ABCDEF+F12", kSerif | kItalic, 0, {}, "LiberationSerif-Italic", 400, true},
        FaceCase{"ABCDEF+F13", 4, 0, Weighing(700), "LiberationSans-Bold", 700},
        FaceCase{"ABCDEF+F14", 4, 0, PanoseSerif(), "LiberationSerif", 400},
        FaceCase{"ABCDEF+F15", kFixed | kItalic, -12, {}, "LiberationMono-Italic", 400, true}),
    [](const auto& info) { return "Row" + std::to_string(info.index); });

// Without a document font of its name, a family Debian doesn't have is refused: it is not
// given fontconfig's generic last resort.
TEST(FaceResolutionOfAFamily, UnknownFamilyWithoutARecordFontResolvesToNothing) {
  FamilyRequest request = ParseFamilyName("Qwxzy Grotesk", 0);
  EXPECT_FALSE(ResolveFace(request, LookOfRequest(request), false).has_value());
}

// The weight rule itself: slant always kept, the weight never crossing regular and bold.
TEST(FaceResolutionOfAFamily, StyleFitKeepsSlantAndSideOfTheWeight) {
  EXPECT_FALSE(StyleFits(400, true, 400, false, false));
  EXPECT_FALSE(StyleFits(700, false, 400, false, false));
  EXPECT_FALSE(StyleFits(500, false, 400, false, false));
  EXPECT_TRUE(StyleFits(500, false, 700, false, false));
  EXPECT_FALSE(StyleFits(400, false, 700, false, false));
  EXPECT_TRUE(StyleFits(600, false, 700, false, false));
  EXPECT_FALSE(StyleFits(600, false, 700, false, true));
}

// What the embedded program says: Roboto Medium's OS/2 weight class, the Weight of URW's
// Type 1 FontInfo. A subset whose name says nothing is still written on the bold side.
std::shared_ptr<PdfFont> LoadFont(QPDF& pdf, const std::string& baseFont,
                                  const std::string& renamedTo = {}) {
  textout_test::RecordingSink sink;
  for (QPDFObjectHandle object : pdf.getAllObjects()) {
    if (!object.isDictionary() || !object.getKey("/BaseFont").isNameAndEquals(baseFont)) {
      continue;
    }
    if (!renamedTo.empty()) object.replaceKey("/BaseFont", QPDFObjectHandle::newName(renamedTo));
    return PdfFont::Load(object, sink);
  }
  return nullptr;
}

TEST(FaceResolutionOfAProgram, WeightComesFromTheEmbeddedProgram) {
  QPDF roboto;
  roboto.processFile(
      (std::string(CORVELLA_FIXTURES_DIR) + "/integration/reportlab_roboto.pdf").c_str());
  auto medium = LoadFont(roboto, "/AAAAAA+Roboto-Medium");
  ASSERT_TRUE(medium);
  EXPECT_EQ(medium->StyleFacts().weight, 500);

  QPDF times;
  times.processFile((std::string(CORVELLA_FIXTURES_DIR) + "/integration/pdftex_times.pdf").c_str());
  auto bold = LoadFont(times, "/OABTBY+NimbusRomNo9L-Medi");
  ASSERT_TRUE(bold);
  EXPECT_EQ(bold->StyleFacts().weight, 700);

  auto nameless = LoadFont(roboto, "/AAAAAA+Roboto-Bold", "/AAAAAA+F1");
  ASSERT_TRUE(nameless);
  FontLook look = LookOfFont(nameless->Info(), nameless->StyleFacts());
  EXPECT_EQ(look.weight, 700);
  auto face = ResolveFace(ParseFamilyName("AAAAAA+F1", 0), look, true);
  ASSERT_TRUE(face.has_value());
  EXPECT_EQ(face->weight, 700) << face->path;
  EXPECT_FALSE(face->italic) << face->path;
}

}  // namespace

// Writing text into a page of a real PDF, judged by poppler and qpdf: text reads back, system
// fonts are embedded once as subsets with ToUnicode, the document's own font is reused when it
// can show the text, widths join consecutive writes exactly, missing characters are reported
// and left out, colours come out exactly.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>

#include "textout_support.h"

namespace {

using namespace pdfcore;
using textout_test::Latin1Font;
using textout_test::RunTool;
using textout_test::TextOutputFixture;

size_t CountOf(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// xMin of every word in `pdftotext -bbox` output, in order.
std::vector<std::pair<std::string, double>> WordBoxes(const std::string& path) {
  std::string html = RunTool("pdftotext -bbox '" + path + "' -");
  std::regex word(
      R"re(<word xMin="([0-9.]+)" yMin="[0-9.]+" xMax="[0-9.]+" yMax="[0-9.]+">([^<]*)</word>)re");
  std::vector<std::pair<std::string, double>> out;
  for (std::sregex_iterator it(html.begin(), html.end(), word), end; it != end; ++it) {
    out.emplace_back((*it)[2], std::stod((*it)[1]));
  }
  return out;
}

class WriteTest : public TextOutputFixture {};

TEST_F(WriteTest, AccentsEuroQuotesAndCyrillicReadBackFromAnEmbeddedSubset) {
  ASSERT_GE(output->SetFont("Arial", 0, 10, nullptr, sink), 0);
  output->ChangeFontSize(14);
  ASSERT_EQ(Write(40, 300, u"Café “Zoë” costs €5 Привет"), 0);
  ASSERT_EQ(Write(40, 250, u"Crème brûlée"), 0);
  Save();

  std::string text = RunTool("pdftotext -enc UTF-8 '" + outPath.string() + "' -");
  EXPECT_NE(text.find("Café “Zoë” costs €5 Привет"), std::string::npos) << text;
  EXPECT_NE(text.find("Crème brûlée"), std::string::npos) << text;
  EXPECT_NE(text.find("Written by [[AUTHOR]] in 2024"), std::string::npos) << text;

  std::string fonts = RunTool("pdffonts '" + outPath.string() + "'");
  std::regex embedded(R"([A-Z]{6}\+LiberationSans\s+CID TrueType\s+Identity-H\s+yes yes yes)");
  EXPECT_TRUE(std::regex_search(fonts, embedded)) << fonts;
  EXPECT_EQ(CountOf(fonts, "LiberationSans"), 1u) << "one font object shared by both writes";

  std::string check = RunTool("qpdf --check '" + outPath.string() + "'");
  EXPECT_NE(check.find("No syntax or stream encoding errors"), std::string::npos) << check;
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
}

TEST_F(WriteTest, SubsetHoldsOnlyTheGlyphsUsed) {
  ASSERT_GE(output->SetFont("Times New Roman", 0, 10, nullptr, sink), 0);
  ASSERT_EQ(Write(40, 300, u"abc"), 0);
  Save();
  auto full = std::filesystem::file_size(
      "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf");
  EXPECT_LT(std::filesystem::file_size(outPath), full / 10);
}

TEST_F(WriteTest, CffFontFromOpenTypeIsEmbeddedAndReadable) {
  ASSERT_GE(output->SetFont("Helvetica", kStyleBold, 10, nullptr, sink), 0);
  ASSERT_EQ(Write(40, 300, u"Zürich Ω"), 0);
  Save();
  std::string text = RunTool("pdftotext -enc UTF-8 '" + outPath.string() + "' -");
  EXPECT_NE(text.find("Zürich Ω"), std::string::npos) << text;
  std::string fonts = RunTool("pdffonts '" + outPath.string() + "'");
  EXPECT_TRUE(std::regex_search(
      fonts, std::regex(R"(\+NimbusSans-Bold\s+CID Type 0C \(OT\)\s+Identity-H\s+yes yes yes)")))
      << fonts;
  std::string check = RunTool("qpdf --check '" + outPath.string() + "'");
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
}

TEST_F(WriteTest, UnusedSelectedFontsAreNotEmbedded) {
  ASSERT_GE(output->SetFont("Courier New", 0, 10, nullptr, sink), 0);
  ASSERT_GE(output->SetFont("Arial", 0, 10, nullptr, sink), 0);
  ASSERT_EQ(Write(40, 300, u"x"), 0);
  Save();
  std::string fonts = RunTool("pdffonts '" + outPath.string() + "'");
  EXPECT_EQ(fonts.find("LiberationMono"), std::string::npos) << fonts;
}

TEST_F(WriteTest, PiecesWrittenAtTheReportedWidthJoinLikeOneWrite) {
  ASSERT_GE(output->SetFont("Times New Roman", 0, 10, nullptr, sink), 0);
  output->ChangeFontSize(13);
  target->state.charSpacing = 0.4;
  target->state.wordSpacing = 3;  // no effect on two-byte codes, nor on the width
  target->state.horizontalScale = 0.85;

  ASSERT_EQ(Write(50, 400, u"Waving flags AVA"), 0);
  double x = 50;
  for (std::u16string piece : {u"Wav", u"ing fl", u"ags A", u"VA"}) {
    ASSERT_EQ(Write(x, 300, piece), 0);
    x += output->Width(target.get(), piece);
  }
  EXPECT_NEAR(x - 50, output->Width(target.get(), u"Waving flags AVA"), 1e-9);
  Save();

  auto words = WordBoxes(outPath.string());
  std::map<std::string, std::vector<double>> byWord;
  for (auto& [word, xMin] : words) byWord[word].push_back(xMin);
  for (const char* word : {"flags", "AVA"}) {
    ASSERT_EQ(byWord[word].size(), 2u) << word;
    EXPECT_NEAR(byWord[word][0], byWord[word][1], 0.01) << word;
  }
}

TEST_F(WriteTest, WidthCountsWordSpacingOnlyForOneByteSpacesOfTheDocumentFont) {
  Latin1Font helvetica("Helvetica");
  target->fonts[&helvetica] = page.getKey("/Resources").getKey("/Font").getKey("/F1");
  ASSERT_GE(output->SetFont("Helvetica", 0, 10, &helvetica, sink), 0);
  output->ChangeFontSize(10);
  target->state.charSpacing = 1;
  target->state.wordSpacing = 2;
  target->state.horizontalScale = 0.5;
  // 3 glyphs of 0.5 em at size 10, Tc on each, Tw on the one space, all at 50 %.
  EXPECT_DOUBLE_EQ(output->Width(target.get(), u"a b"), (3 * 5.0 + 3 * 1 + 2) * 0.5);
}

TEST_F(WriteTest, DocumentFontIsReusedWhenItCanShowTheText) {
  Latin1Font helvetica("Helvetica");
  target->fonts[&helvetica] = page.getKey("/Resources").getKey("/Font").getKey("/F1");
  target->state.font = &helvetica;
  ASSERT_GE(output->SetFont("Helvetica", 0, 10, &helvetica, sink), 0);
  output->ChangeFontSize(12);
  ASSERT_EQ(Write(40, 300, u"Jane Doé"), 0);
  EXPECT_NE(target->added.find("/F1 12 Tf\n<4A616E6520446FE9> Tj"), std::string::npos)
      << target->added;
  Save();
  std::string fonts = RunTool("pdffonts '" + outPath.string() + "'");
  EXPECT_EQ(CountOf(fonts, "\n") - 2, 1u) << "no font added: " << fonts;
  std::string text = RunTool("pdftotext -enc UTF-8 '" + outPath.string() + "' -");
  EXPECT_NE(text.find("Jane Doé"), std::string::npos) << text;
}

TEST_F(WriteTest, TextTheDocumentFontCantShowGoesToTheSystemFont) {
  Latin1Font helvetica("Helvetica");
  target->fonts[&helvetica] = page.getKey("/Resources").getKey("/Font").getKey("/F1");
  ASSERT_GE(output->SetFont("Helvetica", 0, 10, &helvetica, sink), 0);
  ASSERT_EQ(Write(40, 300, u"Jane “Doe”"), 0);
  EXPECT_EQ(target->added.find("/F1 "), std::string::npos) << target->added;
  Save();
  std::string fonts = RunTool("pdffonts '" + outPath.string() + "'");
  EXPECT_NE(fonts.find("NimbusSans-Regular"), std::string::npos) << fonts;
}

TEST_F(WriteTest, CharacterNoFontHasIsReportedOnceAndLeftOut) {
  ASSERT_GE(output->SetFont("Arial", 0, 10, nullptr, sink), 0);
  // U+10FFFD: private use, in no font; U+D800 alone and U+0007 are not text.
  std::u16string text = u"A";
  text += u"\U0010FFFD";
  text += char16_t(0xD800);
  text += u"B\u0007C";
  ASSERT_EQ(Write(40, 300, text), 0);
  ASSERT_EQ(Write(40, 280, text), 0);
  EXPECT_EQ(sink.CountContaining("U+10FFFD"), 1u);
  EXPECT_EQ(sink.CountContaining("U+D800"), 1u);
  EXPECT_EQ(sink.CountContaining("U+0007"), 1u);
  for (const auto& report : sink.reports) EXPECT_TRUE(report.type & PDF_E_NOTICE);
  EXPECT_DOUBLE_EQ(output->Width(target.get(), text), output->Width(target.get(), u"ABC"));
  Save();
  std::string textOut = RunTool("pdftotext -enc UTF-8 '" + outPath.string() + "' -");
  EXPECT_NE(textOut.find("ABC\n"), std::string::npos) << textOut;
}

TEST_F(WriteTest, GreekAndCjkComeFromAFallbackThatHasThem) {
  ASSERT_GE(output->SetFont("Calibri", 0, 10, nullptr, sink), 0);
  ASSERT_EQ(Write(40, 300, u"Carlito 漢字"), 0);
  Save();
  std::string text = RunTool("pdftotext -enc UTF-8 '" + outPath.string() + "' -");
  EXPECT_NE(text.find("Carlito 漢字"), std::string::npos) << text;
  EXPECT_TRUE(sink.reports.empty());
  std::string fonts = RunTool("pdffonts '" + outPath.string() + "'");
  EXPECT_EQ(CountOf(fonts, "yes yes yes"), 2u) << fonts;
}

TEST_F(WriteTest, ColoursDrawModeAndSpacingComeOutExactly) {
  ColorSpaceEntry separation;
  separation.family = "Separation";
  separation.object = QPDFObjectHandle::parse(
      "[/Separation /PANTONE#20185#20C /DeviceCMYK << /FunctionType 2 /Domain [0 1] "
      "/C0 [0 0 0 0] /C1 [0 0.91 0.76 0] /N 1 >>]");
  int32_t spot = colors.AddSpace(separation);
  uint32_t tint = colors.AddColor({{0.65}, {}, {}});
  uint32_t rgb = colors.AddColor({{0.1, 0.25, 0.5}, {}, {}});

  ASSERT_GE(output->SetFont("Arial", 0, 10, nullptr, sink), 0);
  output->SetFillColorSpace(spot);
  output->SetFillColor(tint);
  output->SetStrokeColorSpace(PDF_CS_DEVICE_RGB);
  output->SetStrokeColor(rgb);
  ASSERT_TRUE(output->SetTextDrawMode(2));
  EXPECT_FALSE(output->SetTextDrawMode(9));
  target->state.charSpacing = -0.25;
  target->state.horizontalScale = 1.1;
  ASSERT_EQ(Write(40, 300, u"Spot"), 0);
  ASSERT_EQ(Write(40, 280, u"Spot"), 0);

  const std::string& ops = target->added;
  EXPECT_NE(ops.find("/CvCS1 cs\n0.65 scn\n"), std::string::npos) << ops;
  EXPECT_NE(ops.find("0.1 0.25 0.5 RG\n"), std::string::npos) << ops;
  EXPECT_NE(ops.find("-0.25 Tc\n110 Tz\n2 Tr\n1 0 0 1 40 300 Tm\n"), std::string::npos) << ops;
  QPDFObjectHandle spaces = page.getKey("/Resources").getKey("/ColorSpace");
  ASSERT_TRUE(spaces.isDictionary());
  EXPECT_EQ(spaces.getKeys().size(), 1u) << "the same space is listed once";
  EXPECT_EQ(spaces.getKey("/CvCS1").unparse(), separation.object.unparse());
  Save();
  std::string check = RunTool("qpdf --check '" + outPath.string() + "'");
  EXPECT_EQ(check.find("WARNING"), std::string::npos) << check;
}

TEST_F(WriteTest, BadArgumentsFailWithoutWriting) {
  ASSERT_GE(output->SetFont("Arial", 0, 10, nullptr, sink), 0);
  TPDFMatrix bad{1, 0, 0, 1, std::numeric_limits<double>::quiet_NaN(), 0};
  EXPECT_LT(output->Write(*target, bad, u"x", colors, sink), 0);
  EXPECT_FALSE(output->ChangeFontSize(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(Write(0, 0, u""), 0);
  EXPECT_TRUE(target->added.empty());
}

}  // namespace

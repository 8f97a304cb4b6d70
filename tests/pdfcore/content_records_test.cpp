// Text records delivered by the content interpreter: order, geometry, pieces, state.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "content/text_content.h"
#include "content_test_support.h"
#include "core/color_table.h"

namespace {

using content_test::AllRecords;
using content_test::Record;
using content_test::RecordingSink;
using content_test::StubFonts;
using content_test::TestDocument;
using content_test::U;
using pdfcore::content::TextContent;

struct Parsed {
  TestDocument doc;
  StubFonts fonts;
  pdfcore::ColorTable colors;
  RecordingSink errors;
  TextContent content;
  std::vector<Record> records;

  explicit Parsed(const std::string& stream, const std::string& resources = "")
      : doc(stream, resources), content(doc.pdf, doc.page, fonts, colors, errors) {
    records = AllRecords(content);
  }
};

void ExpectMatrix(const TPDFMatrix& m, double a, double b, double c, double d, double e, double f) {
  EXPECT_NEAR(m.a, a, 1e-9);
  EXPECT_NEAR(m.b, b, 1e-9);
  EXPECT_NEAR(m.c, c, 1e-9);
  EXPECT_NEAR(m.d, d, 1e-9);
  EXPECT_NEAR(m.e, e, 1e-6);
  EXPECT_NEAR(m.f, f, 1e-6);
}

TEST(ContentRecords, TjGivesOnePieceWithWidthsInTextSpace) {
  Parsed p("1 0 0 1 10 20 cm BT /F1 12 Tf 100 200 Td (Hi there) Tj ET");
  ASSERT_EQ(p.records.size(), 1u);
  const Record& r = p.records[0];
  ExpectMatrix(r.ctm, 1, 0, 0, 1, 10, 20);
  ExpectMatrix(r.tm, 1, 0, 0, 1, 100, 200);
  EXPECT_EQ(r.size, 12);
  ASSERT_EQ(r.pieces.size(), 1u);
  EXPECT_EQ(r.pieces[0].text, U("Hi there"));
  EXPECT_EQ(r.pieces[0].advance, 0);
  // 7 glyphs of 500 and a space of 250, at 12 pt.
  EXPECT_NEAR(r.pieces[0].width, (7 * 0.5 + 0.25) * 12, 1e-4);
  EXPECT_NEAR(r.textWidth, (7 * 0.5 + 0.25) * 12, 1e-4);
  EXPECT_NEAR(r.spaceWidth, 3, 1e-6);
  EXPECT_NE(r.font, nullptr);
}

TEST(ContentRecords, TjKerningNumbersBecomePieceAdvances) {
  // Numbers before a string add up into its advance; numbers after the last string make a
  // trailing empty piece; the text width is the displacement of the whole operator.
  Parsed p("BT /F1 10 Tf 200 Tz [(A) -200 (B) 100 50 (C) -300] TJ ET");
  ASSERT_EQ(p.records.size(), 1u);
  const Record& r = p.records[0];
  ASSERT_EQ(r.pieces.size(), 4u);
  const double th = 2.0;
  EXPECT_EQ(r.pieces[0].text, U("A"));
  EXPECT_NEAR(r.pieces[0].advance, 0, 1e-6);
  EXPECT_NEAR(r.pieces[1].advance, -200.0 / 1000 * 10 * th, 1e-5);
  EXPECT_NEAR(r.pieces[2].advance, 150.0 / 1000 * 10 * th, 1e-5);
  EXPECT_TRUE(r.pieces[3].text.empty());
  EXPECT_NEAR(r.pieces[3].advance, -300.0 / 1000 * 10 * th, 1e-5);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(r.pieces[i].width, 0.5 * 10 * th, 1e-5);
  EXPECT_NEAR(r.textWidth, 3 * 10 - (-4 + 3 - 6), 1e-4);
}

TEST(ContentRecords, TextMatrixAdvancesByEachOperatorsDisplacement) {
  Parsed p("BT /F1 10 Tf 2 Tc 1 Tw 50 Tz 0 0 Td (a b) Tj [(c) -1000 (d)] TJ (e) Tj ET");
  ASSERT_EQ(p.records.size(), 3u);
  // (a b): glyph advances 5 + 2.5 + 5, Tc on each, Tw on the space, all halved by Tz.
  const double w1 = ((5 + 2) + (2.5 + 2 + 1) + (5 + 2)) * 0.5;
  EXPECT_NEAR(p.records[0].textWidth, w1, 1e-5);
  EXPECT_NEAR(p.records[1].tm.e, w1, 1e-5);
  const double w2 = (5 + 2) * 0.5 * 2 + 1000.0 / 1000 * 10 * 0.5;
  EXPECT_NEAR(p.records[1].textWidth, w2, 1e-5);
  EXPECT_NEAR(p.records[2].tm.e, w1 + w2, 1e-5);
}

TEST(ContentRecords, RiseIsFoldedIntoTheTextMatrixAndSizeIsNot) {
  Parsed p("BT /F1 10 Tf 2 0 0 2 100 100 Tm 3 Ts (x) Tj 0 Ts (y) Tj ET");
  ASSERT_EQ(p.records.size(), 2u);
  ExpectMatrix(p.records[0].tm, 2, 0, 0, 2, 100, 106);
  // The rise does not move the pen: the next record starts on the baseline after x.
  ExpectMatrix(p.records[1].tm, 2, 0, 0, 2, 110, 100);
}

TEST(ContentRecords, CairoStyleUnitFontSizeIsReportedAsItStands) {
  Parsed p("BT /F1 1 Tf 12 0 0 -12 30 40 Tm (ab) Tj ET");
  ASSERT_EQ(p.records.size(), 1u);
  EXPECT_EQ(p.records[0].size, 1);
  ExpectMatrix(p.records[0].tm, 12, 0, 0, -12, 30, 40);
  EXPECT_NEAR(p.records[0].textWidth, 1.0, 1e-6);
}

TEST(ContentRecords, QuoteOperatorsMoveToTheNextLineAndSetSpacing) {
  Parsed p("BT /F1 10 Tf 14 TL 0 100 Td (a) Tj (b) ' 3 1 (c d) \" (e) Tj ET");
  ASSERT_EQ(p.records.size(), 4u);
  ExpectMatrix(p.records[1].tm, 1, 0, 0, 1, 0, 86);
  ExpectMatrix(p.records[2].tm, 1, 0, 0, 1, 0, 72);
  // " set Tw 3 and Tc 1 before showing.
  EXPECT_NEAR(p.records[2].textWidth, (5 + 1) + (2.5 + 1 + 3) + (5 + 1), 1e-5);
  EXPECT_NEAR(p.records[3].textWidth, 5 + 1, 1e-5);
  EXPECT_NEAR(p.content.LastTextState().charSpacing, 1, 1e-9);
  EXPECT_NEAR(p.content.LastTextState().wordSpacing, 3, 1e-9);
}

TEST(ContentRecords, TDSetsLeadingForTStar) {
  Parsed p("BT /F1 10 Tf 0 0 Td 5 -20 TD (a) Tj T* (b) Tj ET");
  ASSERT_EQ(p.records.size(), 2u);
  ExpectMatrix(p.records[0].tm, 1, 0, 0, 1, 5, -20);
  ExpectMatrix(p.records[1].tm, 1, 0, 0, 1, 5, -40);
}

TEST(ContentRecords, TwoByteAndType3FontsUseTheirOwnAdvances) {
  Parsed p("BT /F2 10 Tf <00410042> Tj /F3 10 Tf (ab c) Tj ET");
  ASSERT_EQ(p.records.size(), 2u);
  EXPECT_EQ(p.records[0].pieces[0].text, U("AB"));
  EXPECT_NEAR(p.records[0].textWidth, 20, 1e-5);
  // Type3: width 50 in glyph space x FontMatrix 0.01 = 0.5 per unit of size.
  EXPECT_NEAR(p.records[1].textWidth, (0.5 * 3 + 0.25) * 10, 1e-5);
  EXPECT_NEAR(p.records[1].spaceWidth, 2.5, 1e-6);
}

TEST(ContentRecords, GraphicsStateIsSavedAndRestored) {
  Parsed p(
      "q 2 0 0 2 0 0 cm 1 0 0 rg 3 Tr BT /F3 8 Tf (a) Tj ET Q "
      "BT /F1 10 Tf (b) Tj ET Q Q q 0.5 g BT (c) Tj ET");
  ASSERT_EQ(p.records.size(), 3u);
  ExpectMatrix(p.records[0].ctm, 2, 0, 0, 2, 0, 0);
  EXPECT_EQ(p.records[0].drawMode, 3);
  EXPECT_EQ(p.records[0].fillSpace, PDF_CS_DEVICE_RGB);
  ExpectMatrix(p.records[1].ctm, 1, 0, 0, 1, 0, 0);
  EXPECT_EQ(p.records[1].drawMode, 0);
  EXPECT_EQ(p.records[1].fillSpace, PDF_CS_DEVICE_GRAY);
  EXPECT_EQ(p.records[1].size, 10);
  // The stray Qs are ignored; the font set outside q stays.
  EXPECT_EQ(p.records[2].size, 10);
  const pdfcore::ColorEntry* gray = p.colors.Color(p.records[2].fill);
  ASSERT_NE(gray, nullptr);
  EXPECT_EQ(gray->components, std::vector<double>{0.5});
  EXPECT_TRUE(p.errors.Has("Q without q"));
}

TEST(ContentRecords, ColoursKeepTheirSpaceAndExactComponents) {
  Parsed p(
      "BT /F1 10 Tf 0.1 0.2 0.3 0.4 k 0.5 0.6 0.7 RG (a) Tj "
      "/CS1 cs 0.25 scn /CS2 CS 0.1 0.2 0.3 SCN (b) Tj "
      "/Pattern cs /P1 scn (c) Tj /CS1 cs (d) Tj 0.1 0.2 0.3 0.4 k (e) Tj ET",
      "/ColorSpace << /CS1 [/Separation /Gold /DeviceCMYK << /FunctionType 2 /Domain [0 1] "
      "/C0 [0 0 0 0] /C1 [0 0.2 1 0] /N 1 >>] /CS2 /DeviceRGB >> "
      "/Pattern << /P1 << /PatternType 2 /Shading << /ShadingType 2 /ColorSpace /DeviceRGB "
      "/Coords [0 0 1 0] /Function << /FunctionType 2 /Domain [0 1] /C0 [0 0 0] /C1 [1 1 1] "
      "/N 1 >> >> >> >>");
  ASSERT_EQ(p.records.size(), 5u);
  const auto& a = p.records[0];
  EXPECT_EQ(a.fillSpace, PDF_CS_DEVICE_CMYK);
  EXPECT_EQ(p.colors.Color(a.fill)->components, (std::vector<double>{0.1, 0.2, 0.3, 0.4}));
  EXPECT_EQ(a.strokeSpace, PDF_CS_DEVICE_RGB);
  EXPECT_EQ(p.colors.Color(a.stroke)->components, (std::vector<double>{0.5, 0.6, 0.7}));

  const auto& b = p.records[1];
  const pdfcore::ColorSpaceEntry* separation = p.colors.Space(b.fillSpace);
  ASSERT_NE(separation, nullptr);
  EXPECT_EQ(separation->family, "Separation");
  EXPECT_EQ(p.colors.Color(b.fill)->components, std::vector<double>{0.25});
  EXPECT_EQ(b.strokeSpace, PDF_CS_DEVICE_RGB);  // a named space that is a device space

  const auto& c = p.records[2];
  ASSERT_NE(p.colors.Space(c.fillSpace), nullptr);
  EXPECT_EQ(p.colors.Space(c.fillSpace)->family, "Pattern");
  EXPECT_EQ(p.colors.Color(c.fill)->patternName, "P1");
  QPDFObjectHandle pattern = p.colors.Color(c.fill)->pattern;
  EXPECT_TRUE(pattern.isDictionary());

  // cs selects the space's initial colour (tint 1 for a separation); equal colours share a token.
  EXPECT_EQ(p.records[3].fillSpace, b.fillSpace);
  EXPECT_EQ(p.colors.Color(p.records[3].fill)->components, std::vector<double>{1.0});
  EXPECT_EQ(p.records[4].fill, a.fill);
}

TEST(ContentRecords, InlineImagesAndMarkedContentAreSkippedSafely) {
  // Image data that looks like text operators, a stray "EI" inside the data, and marked content
  // with a property dictionary around the text.
  std::string data = "(fake) Tj EIx \x01\x02";
  data.resize(12, 'x');
  std::string stream =
      "/Span << /ActualText (x) /MCID 3 >> BDC BT /F1 10 Tf (a) Tj ET EMC "
      "BI /W 4 /H 3 /BPC 8 /CS /G ID " +
      data +
      " EI "
      "BI /W 2 /H 2 /F /AHx ID (b) Tj EIq EI "
      "/P <</MCID 0>> BDC BT /F1 10 Tf (c) Tj ET EMC";
  Parsed p(stream);
  ASSERT_EQ(p.records.size(), 2u);
  EXPECT_EQ(p.records[0].Text(), U("a"));
  EXPECT_EQ(p.records[1].Text(), U("c"));
}

TEST(ContentRecords, MissingFontIsReportedAndTextStillDelivered) {
  Parsed p("BT /F9 10 Tf (abc) Tj ET BT (d) Tj ET");
  ASSERT_EQ(p.records.size(), 2u);
  EXPECT_EQ(p.records[0].Text(), U("abc"));
  EXPECT_NE(p.records[0].font, nullptr);
  EXPECT_GT(p.records[0].textWidth, 0);
  EXPECT_TRUE(p.errors.Has("/F9"));
  EXPECT_GE(p.fonts.fallbackUses, 1);
}

TEST(ContentRecords, RestartGivesTheSameSequence) {
  Parsed p("BT /F1 10 Tf (a) Tj [(b) 10 (c)] TJ (d) ' ET q BT /F2 5 Tf <0041> Tj ET Q");
  std::vector<Record> again = AllRecords(p.content);
  ASSERT_EQ(again.size(), p.records.size());
  for (size_t i = 0; i < again.size(); ++i) {
    EXPECT_EQ(again[i].Text(), p.records[i].Text());
    EXPECT_EQ(again[i].tm.e, p.records[i].tm.e);
    EXPECT_EQ(again[i].tm.f, p.records[i].tm.f);
    EXPECT_EQ(again[i].font, p.records[i].font);
  }
  // A restart in the middle of a pass starts from the first record again.
  TPDFStack stack{};
  ASSERT_TRUE(p.content.Restart(stack));
  EXPECT_EQ(stack.TextIndicator, 0);
  ASSERT_TRUE(p.content.Next(stack));
  ASSERT_TRUE(p.content.Next(stack));
  ASSERT_TRUE(p.content.Restart(stack));
  ASSERT_TRUE(p.content.Next(stack));
  EXPECT_EQ(content_test::Copy(stack).Text(), U("a"));
}

TEST(ContentRecords, ContentWithoutTextGivesNoRecord) {
  Parsed p("0 0 m 100 100 l S");
  EXPECT_TRUE(p.records.empty());
  TPDFStack stack{};
  ASSERT_TRUE(p.content.Restart(stack));
  EXPECT_FALSE(p.content.Next(stack));
  EXPECT_EQ(stack.TextIndicator, 0);
}

TEST(ContentRecords, UsedTemplatesListsFormsInOrderOfFirstUseOnce) {
  TestDocument doc("/Im1 Do /Fm2 Do /Fm1 Do /Fm2 Do /Nope Do");
  QPDFObjectHandle fm1 = doc.pdf.newStream(std::string("BT /F1 10 Tf (x) Tj ET"));
  fm1.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  QPDFObjectHandle fm2 = doc.pdf.newStream(std::string(""));
  fm2.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
  QPDFObjectHandle im1 = doc.pdf.newStream(std::string("\xff"));
  im1.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
  QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
  xobjects.replaceKey("/Fm1", fm1);
  xobjects.replaceKey("/Fm2", fm2);
  xobjects.replaceKey("/Im1", im1);
  doc.page.getKey("/Resources").replaceKey("/XObject", xobjects);
  StubFonts fonts;
  pdfcore::ColorTable colors;
  RecordingSink errors;
  TextContent content(doc.pdf, doc.page, fonts, colors, errors);
  auto forms = content.UsedTemplates();
  ASSERT_EQ(forms.size(), 2u);
  EXPECT_EQ(forms[0].getObjGen(), fm2.getObjGen());
  EXPECT_EQ(forms[1].getObjGen(), fm1.getObjGen());
  // Do does not descend: the form's text is not the page's.
  EXPECT_TRUE(AllRecords(content).empty());
}

TEST(ContentRecords, ResourcesInheritedFromThePageTreeAreUsed) {
  TestDocument doc("BT /F1 10 Tf (ab) Tj ET");
  QPDFObjectHandle resources = doc.page.getKey("/Resources");
  doc.page.removeKey("/Resources");
  doc.page.getKey("/Parent").replaceKey("/Resources", resources);
  StubFonts fonts;
  pdfcore::ColorTable colors;
  RecordingSink errors;
  TextContent content(doc.pdf, doc.page, fonts, colors, errors);
  auto records = AllRecords(content);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(fonts.fallbackUses, 0);
  EXPECT_NEAR(records[0].textWidth, 10, 1e-6);
}

TEST(ContentRecords, ContentArrayStreamsAreReadAsOne) {
  TestDocument doc("");
  QPDFObjectHandle first = doc.pdf.newStream(std::string("BT /F1 10 Tf (a) Tj"));
  QPDFObjectHandle second = doc.pdf.newStream(std::string("(b) Tj ET"));
  doc.page.replaceKey("/Contents", QPDFObjectHandle::newArray({first, second}));
  StubFonts fonts;
  pdfcore::ColorTable colors;
  RecordingSink errors;
  TextContent content(doc.pdf, doc.page, fonts, colors, errors);
  auto records = AllRecords(content);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_NEAR(records[1].tm.e, 5, 1e-6);
}

// Junk of every kind: the valid text around it is still delivered, nothing crashes.
struct JunkCase {
  const char* name;
  std::string stream;
  std::vector<std::string> texts;
};

class ContentJunk : public testing::TestWithParam<JunkCase> {};

TEST_P(ContentJunk, ValidTextSurvives) {
  Parsed p(GetParam().stream);
  std::vector<std::string> texts;
  for (const auto& r : p.records) {
    std::u16string t = r.Text();
    texts.emplace_back(t.begin(), t.end());
  }
  EXPECT_EQ(texts, GetParam().texts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentJunk,
    testing::Values(
        JunkCase{"StrayDelimiters", ") ] >> } { BT /F1 10 Tf (a) Tj ET", {"a"}},
        JunkCase{"UnknownOperators", "BT /F1 10 Tf foo 1.2.3 bar (a) Tj zz ET", {"a"}},
        JunkCase{"WrongOperandTypes",
                 "BT /F1 /X Tf (q) 5 Tf /F1 10 Tf 5 Tj (x) TJ /N Td [(a)] Tj (b) Tj ET",
                 {"b"}},
        JunkCase{"UnclosedArrayBeforeOperator", "BT /F1 10 Tf [ [ (x) Tj (a) Tj ET", {"a"}},
        JunkCase{"UnclosedDictionary", "<< /A (x) BT /F1 10 Tf (a) Tj ET", {"a"}},
        JunkCase{"BadHexString", "BT /F1 10 Tf <zz (a) Tj <41 42> Tj ET", {"a", "AB"}},
        JunkCase{"NestedBTAndStrayET", "ET BT BT /F1 10 Tf (a) Tj ET ET (b) Tj", {"a", "b"}},
        JunkCase{"TooFewQuoteOperands", "BT /F1 10 Tf 1 (x) \" (a) ' ET", {"a"}},
        JunkCase{"UnterminatedStringAtEnd", "BT /F1 10 Tf (a) Tj (never closed", {"a"}},
        JunkCase{"InlineImageWithoutEnd", "BT /F1 10 Tf (a) Tj ET BI /W 1 ID \x01\x02", {"a"}},
        JunkCase{"BinaryGarbage", std::string("\x00\xff\x80(a\\) Tj)Tj", 13), {"a) Tj"}},
        JunkCase{"StringsWithEscapes", "BT /F1 10 Tf (\\(x\\)\\101\\\ny) Tj ET", {"(x)Ay"}}),
    [](const testing::TestParamInfo<JunkCase>& info) { return std::string(info.param.name); });

TEST(ContentRobustness, DeepNestingNeitherRecursesNorGrows) {
  std::string stream = std::string(100000, '[') + std::string(100000, ']');
  stream += " BT /F1 10 Tf (a) Tj ET ";
  for (int i = 0; i < 50000; ++i) stream += "<<";
  for (int i = 0; i < 50000; ++i) stream += ">>";
  // An array never closed: the operator after it ends it.
  stream += " (b) Tj " + std::string(100000, '[') + " Tj (c) Tj";
  Parsed p(stream);
  ASSERT_EQ(p.records.size(), 3u);
  EXPECT_EQ(p.records[1].Text(), U("b"));
  EXPECT_EQ(p.records[2].Text(), U("c"));
}

TEST(ContentRobustness, DeepSaveNestingIsBounded) {
  std::string stream;
  for (int i = 0; i < 100000; ++i) stream += "q 1 0 0 rg ";
  stream += "BT /F1 10 Tf (a) Tj ET";
  for (int i = 0; i < 100000; ++i) stream += " Q";
  stream += " BT /F1 10 Tf (b) Tj ET";
  Parsed p(stream);
  ASSERT_EQ(p.records.size(), 2u);
  EXPECT_EQ(p.records[0].fillSpace, PDF_CS_DEVICE_RGB);
  EXPECT_EQ(p.records[1].fillSpace, PDF_CS_DEVICE_GRAY);
}

TEST(ContentRobustness, FiftyMegabytesOfJunkFinishQuickly) {
  std::string junk;
  junk.reserve(50u << 20);
  const std::string pieces[] = {"xyz ", "1 2 3 ", ") ",   "(s) ",     "<41> ", "/N ",
                                "[ ",   "] ",     "<< ",  ">> ",      "q ",    "Q ",
                                "BT ",  "ET ",    "%c\n", "\x01\xfe "};
  uint32_t seed = 12345;
  while (junk.size() < (50u << 20)) {
    seed = seed * 1103515245 + 12345;
    junk += pieces[(seed >> 16) % 16];
  }
  junk += " BT /F1 10 Tf (end) Tj ET";
  auto start = std::chrono::steady_clock::now();
  Parsed p(junk);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  ASSERT_FALSE(p.records.empty());
  EXPECT_EQ(p.records.back().Text(), U("end"));
  EXPECT_LT(seconds, 60.0);
  EXPECT_LT(p.errors.messages.size(), 300u);
}

}  // namespace

// Simple fonts (Type1, TrueType, Type3) built with QPDF: encodings, glyph names, widths,
// ToUnicode, Info, Encode.
#include <gtest/gtest.h>

#include "fonts/glyph_names.h"
#include "fonts_test_support.h"

namespace pdfcore {
namespace {

using fonttest::DecodeGlyphs;
using fonttest::DecodeText;
using fonttest::RecordingSink;
using fonttest::TestDocument;
using fonttest::Utf8;

struct EncodingCase {
  const char* font;
  std::string bytes;
  const char* text;
};

class SimpleEncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(SimpleEncodingTest, DecodesToUnicode) {
  TestDocument doc;
  RecordingSink sink;
  auto font = PdfFont::Load(doc.Object(GetParam().font), sink);
  EXPECT_EQ(Utf8(DecodeText(*font, GetParam().bytes)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, SimpleEncodingTest,
    ::testing::Values(
        EncodingCase{
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
            "\x93"
            "Caf\xe9\x94 \x80\xad\xa0",
            "“Café” €- "},
        EncodingCase{
            "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /MacRomanEncoding >>",
            "\x8e\xd0\xde", "é–fi"},
        EncodingCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman >>", "it\x27s \xae",
                     "it’s fi"},
        EncodingCase{
            "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /PDFDocEncoding >>",
            "\x84\x8d", "—“"},
        EncodingCase{
            "<< /Type /Font /Subtype /Type1 /BaseFont /Times-Roman /Encoding /MacExpertEncoding >>",
            "\x56\x57", "fffi"},
        // Differences: uniXXXX, uXXXXX (beyond the BMP), ligatures with '_', suffixes after
        // '.', TeX names, and names that say nothing.
        EncodingCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Foo /Encoding << /BaseEncoding "
                     "/WinAnsiEncoding /Differences [65 /uni20AC /u1F600 /f_f_i 200 /T_h.swash "
                     "/g123 /dotlessj /A.sc /uni00410042] >> >>",
                     "ABC\xc8\xc9\xca\xcb\xcc"
                     "D",
                     "€\U0001F600ffiThȷAABD"},
        // Differences without a base: the standard encoding below them.
        EncodingCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Foo /Encoding << /Differences [39 "
                     "/quotesingle] >> >>",
                     "\x27\x60", "'‘"},
        EncodingCase{"<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>", "abg\xb9", "αβγ≠"},
        EncodingCase{"<< /Type /Font /Subtype /Type1 /BaseFont /ZapfDingbats >>", "\x34\x6c",
                     "✔●"}));

TEST(SimpleFontWidths, StandardFontsWithoutWidthsUseBuiltInMetrics) {
  TestDocument doc;
  RecordingSink sink;
  auto helvetica = PdfFont::Load(
      doc.Object(
          "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"),
      sink);
  auto glyphs = DecodeGlyphs(*helvetica, "a W\xe9");
  ASSERT_EQ(glyphs.size(), 4u);
  EXPECT_DOUBLE_EQ(glyphs[0].advance, 0.556);
  EXPECT_DOUBLE_EQ(glyphs[1].advance, 0.278);
  EXPECT_DOUBLE_EQ(glyphs[2].advance, 0.944);
  EXPECT_DOUBLE_EQ(glyphs[3].advance, 0.556);
  EXPECT_TRUE(glyphs[1].isWordSpace);
  EXPECT_FALSE(glyphs[0].isWordSpace);
  EXPECT_DOUBLE_EQ(helvetica->SpaceAdvance(), 0.278);

  // Aliases of the standard fonts: Arial is Helvetica, Courier New is Courier.
  auto arialBold =
      PdfFont::Load(doc.Object("<< /Type /Font /Subtype /TrueType /BaseFont /Arial,Bold >>"), sink);
  EXPECT_DOUBLE_EQ(DecodeGlyphs(*arialBold, "a")[0].advance, 0.556);
  EXPECT_DOUBLE_EQ(DecodeGlyphs(*arialBold, "m")[0].advance, 0.889);
  auto courier = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /TrueType /BaseFont /CourierNewPSMT >>"), sink);
  EXPECT_DOUBLE_EQ(DecodeGlyphs(*courier, "i")[0].advance, 0.6);
  EXPECT_EQ(courier->Info().Flags & PDF_FF_FIXED_PITCH, PDF_FF_FIXED_PITCH);
  EXPECT_TRUE(sink.entries.empty());
}

TEST(SimpleFontWidths, WidthsArrayFirstCharAndMissingWidth) {
  TestDocument doc;
  RecordingSink sink;
  auto descriptor =
      doc.Object("<< /Type /FontDescriptor /FontName /Foo /Flags 32 /MissingWidth 333 >>");
  auto font = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type1 /BaseFont /Foo /FirstChar 65 /LastChar 67 "
                 "/Widths [600 700.5 0] /FontDescriptor " +
                 TestDocument::Ref(descriptor) + " >>"),
      sink);
  auto glyphs = DecodeGlyphs(*font, "AB Cz");
  EXPECT_DOUBLE_EQ(glyphs[0].advance, 0.6);
  EXPECT_DOUBLE_EQ(glyphs[1].advance, 0.7005);
  EXPECT_DOUBLE_EQ(glyphs[2].advance, 0.333);  // space: outside /Widths
  EXPECT_DOUBLE_EQ(glyphs[3].advance, 0.0);
  EXPECT_DOUBLE_EQ(glyphs[4].advance, 0.333);
  EXPECT_DOUBLE_EQ(font->SpaceAdvance(), 0.333);
}

TEST(SimpleFontSpace, EstimatedWhenTheFontHasNoSpace) {
  TestDocument doc;
  RecordingSink sink;
  auto font = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type1 /BaseFont /Foo /FirstChar 65 /LastChar 66 "
                 "/Widths [600 400] /Encoding << /Differences [32 /g1] >> >>"),
      sink);
  EXPECT_GT(font->SpaceAdvance(), 0.1);
  EXPECT_LT(font->SpaceAdvance(), 0.5);
}

TEST(SimpleFontToUnicode, WinsOverTheEncodingAndFallsBackPerCode) {
  TestDocument doc;
  RecordingSink sink;
  auto cmap = doc.Stream(
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
      "1 begincodespacerange <00> <FF> endcodespacerange\n"
      "2 beginbfchar <01> <0048> <02> <00660069> endbfchar\n"
      "1 beginbfrange <03> <05> <0061> endbfrange\n"
      "1 beginbfrange <06> <08> [<0058> <D83DDE00> <00200020>] endbfrange\n"
      "endcmap CMapName currentdict /CMap defineresource pop end end\n");
  auto font = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /TrueType /BaseFont /ABCDEF+Foo /ToUnicode " +
                 TestDocument::Ref(cmap) +
                 " /Encoding /WinAnsiEncoding /FirstChar 0 /Widths [500] >>"),
      sink);
  EXPECT_EQ(Utf8(DecodeText(*font, "\x01\x02\x03\x04\x05\x06\x07\x08Q")), "HfiabcX\U0001F600  Q");
  EXPECT_TRUE(sink.entries.empty());
}

TEST(SimpleFontType3, WidthsScaleByTheFontMatrix) {
  TestDocument doc;
  RecordingSink sink;
  auto proc = doc.Stream("60 0 d0 0 0 50 50 re f");
  auto font = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type3 /FontBBox [0 0 60 60] /FontMatrix [0.01 0 0 0.01 "
                 "0 0] /CharProcs << /square " +
                 TestDocument::Ref(proc) +
                 " >> /Encoding << /Differences [65 /square /B] >> /FirstChar 65 /LastChar 66 "
                 "/Widths [60 40] >>"),
      sink);
  auto glyphs = DecodeGlyphs(*font, "AB");
  EXPECT_DOUBLE_EQ(glyphs[0].advance, 0.6);
  EXPECT_DOUBLE_EQ(glyphs[1].advance, 0.4);
  EXPECT_EQ(Utf8(glyphs[1].unicode), "B");
  double m[6];
  font->FontMatrix(m);
  EXPECT_DOUBLE_EQ(m[0], 0.01);
  EXPECT_DOUBLE_EQ(m[3], 0.01);
  EXPECT_EQ(font->Info().FontType, PDF_FT_TYPE3);
  EXPECT_GT(font->SpaceAdvance(), 0);
  // "B" has no glyph procedure: it can't be written.
  std::string bytes;
  EXPECT_FALSE(font->Encode(u"B", bytes, nullptr));
}

TEST(SimpleFontInfo, DescriptorFlagsNameAndType) {
  TestDocument doc;
  RecordingSink sink;
  auto descriptor = doc.Object(
      "<< /Type /FontDescriptor /FontName /ABCDEF+Minion-Bold /Flags 262178 /ItalicAngle -12.5 >>");
  auto font = PdfFont::Load(doc.Object("<< /Type /Font /Subtype /MMType1 /BaseFont "
                                       "/ABCDEF+Minion-Bold /FontDescriptor " +
                                       TestDocument::Ref(descriptor) + " >>"),
                            sink);
  EXPECT_STREQ(font->Info().FontName, "ABCDEF+Minion-Bold");
  EXPECT_EQ(font->Info().FontType, PDF_FT_TYPE1);
  EXPECT_EQ(font->Info().Flags, 262178);
  EXPECT_FLOAT_EQ(font->Info().ItalicAngle, -12.5f);
  double m[6];
  font->FontMatrix(m);
  EXPECT_DOUBLE_EQ(m[0], 0.001);

  auto oblique = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica-Oblique >>"), sink);
  EXPECT_LT(oblique->Info().ItalicAngle, 0);
}

TEST(SimpleFontEncode, NonEmbeddedFontsShowWhatTheirEncodingReaches) {
  TestDocument doc;
  RecordingSink sink;
  auto helvetica = PdfFont::Load(
      doc.Object(
          "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"),
      sink);
  std::string bytes;
  std::vector<double> advances;
  ASSERT_TRUE(helvetica->Encode(u"Café €", bytes, &advances));
  EXPECT_EQ(bytes, "Caf\xe9 \x80");
  ASSERT_EQ(advances.size(), 6u);
  EXPECT_DOUBLE_EQ(advances[0], 0.722);
  EXPECT_DOUBLE_EQ(advances[4], 0.278);
  bytes.clear();
  EXPECT_FALSE(helvetica->Encode(u"α", bytes, nullptr));

  auto symbol =
      PdfFont::Load(doc.Object("<< /Type /Font /Subtype /Type1 /BaseFont /Symbol >>"), sink);
  bytes.clear();
  ASSERT_TRUE(symbol->Encode(u"αβ", bytes, nullptr));
  EXPECT_EQ(bytes, "ab");
  // Round trip: what Encode writes decodes to the same text.
  EXPECT_EQ(Utf8(DecodeText(*symbol, bytes)), "αβ");
}

// Subset producers give one character several codes. New text must use the one whose width
// and word spacing are the character's own: a space at 32 (the only code Tw widens), a letter
// at its usual code, then a code the PDF names itself before one only the base encoding has.
TEST(SimpleFontEncode, OfSeveralCodesForOneCharacterTheUsualOneIsWritten) {
  TestDocument doc;
  RecordingSink sink;
  auto font = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << "
                 "/BaseEncoding /WinAnsiEncoding /Differences [1 /space /i /Euro] >> >>"),
      sink);
  std::string bytes;
  ASSERT_TRUE(font->Encode(u" i", bytes, nullptr));
  EXPECT_EQ(bytes, " i");
  bytes.clear();
  ASSERT_TRUE(font->Encode(u"€", bytes, nullptr));
  EXPECT_EQ(bytes, "\x03");  // named by Differences, not the base encoding's 0x80

  auto renamed = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding << "
                 "/BaseEncoding /WinAnsiEncoding /Differences [32 /a 200 /Euro] >> >>"),
      sink);
  bytes.clear();
  ASSERT_TRUE(renamed->Encode(u"a€", bytes, nullptr));
  EXPECT_EQ(bytes, "a\xc8");  // 32 shows "a" here, but "a" has its usual code
}

TEST(GlyphNames, AdobeGlyphListRules) {
  struct Case {
    const char* name;
    const char* text;
  } cases[] = {{"A", "A"},
               {"Aacute", "Á"},
               {"uni0041", "A"},
               {"uni004", ""},
               {"uniD800", ""},
               {"u1F600", "\U0001F600"},
               {"u110000", ""},
               {"f_i", "fi"},
               {"fi", "ﬁ"},
               {"a.sc", "a"},
               {".notdef", ""},
               {"g17", ""},
               {"Lcommaaccent", "Ļ"},
               {"uni00410042.alt", "AB"},
               {"space", " "},
               {"a1", "✁"},
               {"visiblespace", "␣"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8(GlyphNameToUnicode(c.name)), c.text) << c.name;
  }
}

}  // namespace
}  // namespace pdfcore

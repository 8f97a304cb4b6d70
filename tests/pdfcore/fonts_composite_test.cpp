// Composite (Type0) fonts: code lengths from the CMap, /W and /DW, ToUnicode, the embedded
// program as the way to text and to Encode.
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "fonts_test_support.h"

namespace pdfcore {
namespace {

using fonttest::DecodeGlyphs;
using fonttest::DecodeText;
using fonttest::RecordingSink;
using fonttest::TestDocument;
using fonttest::Utf8;

const char* const kLiberationSans =
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";

std::string ReadFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream data;
  data << in.rdbuf();
  return data.str();
}

std::string Code(uint16_t value) {
  return std::string{static_cast<char>(value >> 8), static_cast<char>(value & 0xFF)};
}

QPDFObjectHandle IdentityFont(TestDocument& doc, const std::string& descendantExtra,
                              const std::string& fontExtra = "") {
  auto descendant = doc.Object(
      "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /ABCDEF+Foo /CIDSystemInfo << /Registry "
      "(Adobe) /Ordering (Identity) /Supplement 0 >> " +
      descendantExtra + " >>");
  return doc.Object(
      "<< /Type /Font /Subtype /Type0 /BaseFont /ABCDEF+Foo /Encoding /Identity-H "
      "/DescendantFonts [" +
      TestDocument::Ref(descendant) + "] " + fontExtra + " >>");
}

TEST(CompositeFont, IdentityHWithBothFormsOfW) {
  TestDocument doc;
  RecordingSink sink;
  auto toUnicode = doc.Stream(
      "begincmap 1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
      "3 beginbfchar <0003> <0020> <0010> <0041> <0011> <D835DC00> endbfchar endcmap");
  auto font = PdfFont::Load(IdentityFont(doc, "/DW 500 /W [3 [250] 16 [600 700] 20 30 444]",
                                         "/ToUnicode " + TestDocument::Ref(toUnicode)),
                            sink);
  auto glyphs = DecodeGlyphs(*font, Code(3) + Code(16) + Code(17) + Code(25) + Code(99));
  ASSERT_EQ(glyphs.size(), 5u);
  for (const auto& glyph : glyphs) {
    EXPECT_EQ(glyph.codeLength, 2);
    EXPECT_FALSE(glyph.isWordSpace);  // word spacing only applies to one-byte code 32
  }
  EXPECT_EQ(glyphs[0].code, 3u);
  EXPECT_DOUBLE_EQ(glyphs[0].advance, 0.25);
  EXPECT_DOUBLE_EQ(glyphs[1].advance, 0.6);
  EXPECT_DOUBLE_EQ(glyphs[2].advance, 0.7);
  EXPECT_DOUBLE_EQ(glyphs[3].advance, 0.444);
  EXPECT_DOUBLE_EQ(glyphs[4].advance, 0.5);
  EXPECT_EQ(Utf8(glyphs[2].unicode), "\U0001D400");
  EXPECT_EQ(Utf8(DecodeText(*font, Code(3) + Code(16))), " A");
  EXPECT_DOUBLE_EQ(font->SpaceAdvance(), 0.25);
  EXPECT_EQ(font->Info().FontType, PDF_FT_TYPE0);
  EXPECT_STREQ(font->Info().FontName, "ABCDEF+Foo");
  // An odd trailing byte still makes a glyph and never reads past the string.
  EXPECT_EQ(DecodeGlyphs(*font, Code(16) + "\x01").size(), 2u);
}

TEST(CompositeFont, EmbeddedCMapWithMixedCodeLengths) {
  TestDocument doc;
  RecordingSink sink;
  auto cmap = doc.Stream(
      "/CIDInit /ProcSet findresource begin 12 dict begin begincmap\n"
      "2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange\n"
      "1 begincidrange <20> <7E> 1 endcidrange\n"
      "1 begincidchar <8140> 633 endcidchar endcmap end end",
      "<< /Type /CMap /CMapName /Test-H >>");
  auto toUnicode = doc.Stream(
      "begincmap 2 begincodespacerange <00> <80> <8140> <9FFC> endcodespacerange\n"
      "1 beginbfrange <20> <7E> <0020> endbfrange 1 beginbfchar <8140> <3000> endbfchar endcmap");
  auto descendant = doc.Object(
      "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Foo /W [1 [300] 34 [611] 633 [1000]] >>");
  auto font = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding " +
                 TestDocument::Ref(cmap) + " /ToUnicode " + TestDocument::Ref(toUnicode) +
                 " /DescendantFonts [" + TestDocument::Ref(descendant) + "] >>"),
      sink);
  auto glyphs = DecodeGlyphs(*font,
                             "A \x81\x40"
                             "B");
  ASSERT_EQ(glyphs.size(), 4u);
  EXPECT_EQ(glyphs[0].codeLength, 1);
  EXPECT_DOUBLE_EQ(glyphs[0].advance, 0.611);  // 'A' = CID 34
  EXPECT_TRUE(glyphs[1].isWordSpace);          // one-byte code 32
  EXPECT_DOUBLE_EQ(glyphs[1].advance, 0.3);
  EXPECT_EQ(glyphs[2].codeLength, 2);
  EXPECT_EQ(glyphs[2].code, 0x8140u);
  EXPECT_DOUBLE_EQ(glyphs[2].advance, 1.0);
  EXPECT_EQ(Utf8(DecodeText(*font,
                            "A \x81\x40"
                            "B")),
            "A \u3000B");
  std::string bytes;
  ASSERT_TRUE(font->Encode(u"B A", bytes, nullptr));  // not embedded: the map decides
  EXPECT_EQ(bytes, "B A");
}

TEST(CompositeFont, SpaceWithoutAWidthOfItsOwnIsNotUsedForNewText) {
  // LuaTeX lists in /W only the glyphs it shows, never the space: a space written with such a
  // font would take /DW, a whole em.
  TestDocument doc;
  RecordingSink sink;
  auto toUnicode = doc.Stream(
      "begincmap 1 begincodespacerange <0000> <FFFF> endcodespacerange\n"
      "2 beginbfchar <0003> <0020> <0024> <0041> endbfchar endcmap");
  auto descendant = doc.Object(
      "<< /Type /Font /Subtype /CIDFontType2 /BaseFont /Foo /CIDToGIDMap /Identity "
      "/W [36 [722]] >>");
  auto font = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /Identity-H "
                 "/ToUnicode " +
                 TestDocument::Ref(toUnicode) + " /DescendantFonts [" +
                 TestDocument::Ref(descendant) + "] >>"),
      sink);
  std::string bytes;
  EXPECT_TRUE(font->Encode(u"A", bytes, nullptr));
  EXPECT_FALSE(font->Encode(u" ", bytes, nullptr));
}

TEST(CompositeFont, EmbeddedTrueTypeGivesTextAndGlyphChecks) {
  std::string program = ReadFile(kLiberationSans);
  if (program.empty()) GTEST_SKIP() << "fonts-liberation2 not installed";
  TestDocument doc;
  RecordingSink sink;
  auto file = doc.Stream(program, "<< /Length1 " + std::to_string(program.size()) + " >>");
  auto descriptor = doc.Object(
      "<< /Type /FontDescriptor /FontName /ABCDEF+LiberationSans /Flags 4 /ItalicAngle 0 "
      "/FontFile2 " +
      TestDocument::Ref(file) + " >>");
  auto font = PdfFont::Load(
      IdentityFont(doc, "/CIDToGIDMap /Identity /FontDescriptor " + TestDocument::Ref(descriptor)),
      sink);
  EXPECT_TRUE(sink.entries.empty());
  EXPECT_EQ(font->Info().Flags, 4);

  // No ToUnicode: the program's cmap read backwards gives the text; Encode the codes.
  std::string bytes;
  std::vector<double> advances;
  ASSERT_TRUE(font->Encode(u"Zebra Ω", bytes, &advances));
  EXPECT_EQ(bytes.size(), 14u);
  EXPECT_EQ(Utf8(DecodeText(*font, bytes)), "Zebra Ω");
  EXPECT_DOUBLE_EQ(advances[0], 1.0);  // no /W: the default width
  bytes.clear();
  EXPECT_FALSE(font->Encode(u"中", bytes, nullptr));  // no such glyph in the font
}

TEST(CompositeFont, PredefinedUnicodeCMapReadsCodesAsText) {
  TestDocument doc;
  RecordingSink sink;
  auto descendant = doc.Object("<< /Type /Font /Subtype /CIDFontType0 /BaseFont /Foo >>");
  auto font = PdfFont::Load(
      doc.Object("<< /Type /Font /Subtype /Type0 /BaseFont /Foo /Encoding /UniGB-UCS2-H "
                 "/DescendantFonts [" +
                 TestDocument::Ref(descendant) + "] >>"),
      sink);
  EXPECT_EQ(Utf8(DecodeText(*font, std::string("\x4e\x2d\x00\x41", 4))), "中A");
  EXPECT_FALSE(sink.entries.empty());  // the CMap itself isn't available: reported
}

}  // namespace
}  // namespace pdfcore

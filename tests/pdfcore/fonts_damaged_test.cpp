// Damaged and hostile fonts: best-effort results, a report, no crash, bounded memory.
#include <cmath>

#include <gtest/gtest.h>

#include "fonts_test_support.h"

namespace pdfcore {
namespace {

using fonttest::DecodeGlyphs;
using fonttest::DecodeText;
using fonttest::RecordingSink;
using fonttest::TestDocument;
using fonttest::Utf8;

struct DamagedCase {
  const char* what;
  std::string font;  // "@" stands for a reference to the extra stream
  std::string stream;
};

class DamagedFontTest : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedFontTest, ReportsAndStaysUsable) {
  TestDocument doc;
  RecordingSink sink;
  std::string text = GetParam().font;
  if (auto at = text.find('@'); at != std::string::npos) {
    text.replace(at, 1, TestDocument::Ref(doc.Stream(GetParam().stream)));
  }
  QPDFObjectHandle dict = text.empty() ? QPDFObjectHandle::newInteger(7) : doc.Object(text);
  std::shared_ptr<PdfFont> font;
  ASSERT_NO_THROW(font = PdfFont::Load(dict, sink));
  ASSERT_NE(font, nullptr);
  EXPECT_FALSE(sink.entries.empty()) << GetParam().what;
  EXPECT_TRUE(sink.AllFontWarnings());
  EXPECT_GT(font->SpaceAdvance(), 0) << GetParam().what;
  auto glyphs = DecodeGlyphs(*font, "Ab c\x01\x02");
  EXPECT_FALSE(glyphs.empty());
  for (const auto& glyph : glyphs) {
    EXPECT_LE(glyph.unicode.size(), 128u);
    EXPECT_TRUE(std::isfinite(glyph.advance));
  }
  std::string bytes;
  font->Encode(u"Ab c", bytes, nullptr);
  font->Info();
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, DamagedFontTest,
    ::testing::Values(
        DamagedCase{"not a dictionary", "", ""},
        DamagedCase{"no widths", "<< /Type /Font /Subtype /TrueType /BaseFont /Unknown >>", ""},
        DamagedCase{"widths of the wrong type",
                    "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar 0 /Widths (abc) >>",
                    ""},
        DamagedCase{"absurd widths array",
                    "<< /Type /Font /Subtype /Type1 /BaseFont /X /FirstChar -5 /Widths [" +
                        [] {
                          std::string a;
                          for (int i = 0; i < 5000; ++i) a += "99999999.5 ";
                          return a;
                        }() +
                        "] >>",
                    ""},
        DamagedCase{"encoding of the wrong type",
                    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding 12 >>", ""},
        DamagedCase{"unknown subtype", "<< /Type /Font /Subtype /Bogus /BaseFont /X >>", ""},
        DamagedCase{"Type0 without descendant",
                    "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H >>", ""},
        DamagedCase{"Type0 with junk W",
                    "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H "
                    "/DescendantFonts [<< /Subtype /CIDFontType2 /W [1 (x) 5 4 3 -9 [1 2] 7] "
                    "/DW (x) >>] >>",
                    ""},
        DamagedCase{"Type0 with a huge W range",
                    "<< /Type /Font /Subtype /Type0 /BaseFont /X /Encoding /Identity-H "
                    "/DescendantFonts [<< /Subtype /CIDFontType2 /W [0 4000000000 500 7] >>] >>",
                    ""},
        DamagedCase{"ToUnicode not a stream",
                    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode 5 >>", ""},
        DamagedCase{"ToUnicode junk",
                    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode @ >>",
                    "beginbfchar ] [ endbfrange <> <FFFFFFFFFF> beginbfrange <01> ( endcmap"},
        DamagedCase{"ToUnicode bfrange over all codes",
                    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode @ >>",
                    "1 beginbfrange <00000000> <FFFFFFFF> <0041> endbfrange"},
        DamagedCase{"ToUnicode with 10000 characters for one code",
                    "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode @ >>",
                    "1 beginbfchar <41> <" +
                        [] {
                          std::string a;
                          for (int i = 0; i < 10000; ++i) a += "0042";
                          return a;
                        }() +
                        "> endbfchar"},
        DamagedCase{"garbage font program",
                    "<< /Type /Font /Subtype /TrueType /BaseFont /X /FirstChar 32 /Widths [250] "
                    "/FontDescriptor << /Flags 4 /FontFile2 @ >> >>",
                    "this is no TrueType font"},
        DamagedCase{"Type3 with a bad matrix",
                    "<< /Type /Font /Subtype /Type3 /FontMatrix [1 (a)] /CharProcs 3 /Encoding << "
                    "/Differences [(x) 65 /A 99999999999 /B] >> >>",
                    ""}));

TEST(DamagedFont, OneCodeToManyCharactersIsCapped) {
  TestDocument doc;
  RecordingSink sink;
  std::string destination;
  for (int i = 0; i < 10000; ++i) destination += "0042";
  auto cmap = doc.Stream("1 beginbfchar <41> <" + destination + "> <42> <0043> endbfchar");
  auto font =
      PdfFont::Load(doc.Object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /ToUnicode " +
                               TestDocument::Ref(cmap) + " >>"),
                    sink);
  auto text = DecodeText(*font, "AB");
  EXPECT_EQ(text.size(), 129u);  // capped text of A, then the next entry still read
  EXPECT_EQ(text.back(), u'C');
  ASSERT_FALSE(sink.entries.empty());
  EXPECT_NE(sink.entries[0].message.find("too long"), std::string::npos);
}

TEST(DamagedFont, BrokenCMapKeepsWhatItCouldRead) {
  TestDocument doc;
  RecordingSink sink;
  auto cmap = doc.Stream(
      "2 beginbfchar <41> <0058> <42> endbfchar 1 beginbfrange <43> <44> "
      "[<0059> endbfrange");
  auto font = PdfFont::Load(doc.Object("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                                       "/ToUnicode " +
                                       TestDocument::Ref(cmap) + " >>"),
                            sink);
  EXPECT_EQ(Utf8(DecodeText(*font, "AC")), "XY");
  EXPECT_EQ(Utf8(DecodeText(*font, "Z")), "Z");  // the encoding where the map says nothing
}

}  // namespace
}  // namespace pdfcore

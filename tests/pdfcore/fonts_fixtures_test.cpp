// Fonts of PDFs written by real producers (tests/fixtures/fonts, made by make_fixtures.sh):
// the text of every string operand must be what pdftotext reads from the same file.
#include <map>

#include <gtest/gtest.h>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include "fonts_test_support.h"

namespace pdfcore {
namespace {

using fonttest::DecodeGlyphs;
using fonttest::RecordingSink;
using fonttest::Utf8;

std::string FixturePath(const char* name) {
  return std::string(CORVELLA_FIXTURES_DIR) + "/fonts/" + name;
}

// Decodes every Tj/TJ/'/" string of a page with the fonts of its resources.
class TextCollector final : public QPDFObjectHandle::ParserCallbacks {
 public:
  TextCollector(QPDFObjectHandle fonts, ErrorSink& sink) : fonts_(fonts), sink_(sink) {}

  void handleObject(QPDFObjectHandle object) override {
    if (!object.isOperator()) {
      operands_.push_back(object);
      return;
    }
    std::string op = object.getOperatorValue();
    if (op == "Tf" && !operands_.empty() && operands_[0].isName()) {
      current_ = FontNamed(operands_[0].getName());
    } else if ((op == "Tj" || op == "'" || op == "\"") && !operands_.empty()) {
      Show(operands_.back());
    } else if (op == "TJ" && !operands_.empty() && operands_[0].isArray()) {
      for (auto& item : operands_[0].getArrayAsVector()) Show(item);
    }
    operands_.clear();
  }
  void handleEOF() override {}

  std::u16string text;
  std::map<std::string, std::shared_ptr<PdfFont>> loaded;

 private:
  std::shared_ptr<PdfFont> FontNamed(const std::string& name) {
    auto& font = loaded[name];
    if (!font) font = PdfFont::Load(fonts_.getKey(name), sink_);
    return font;
  }
  void Show(QPDFObjectHandle string) {
    if (!string.isString() || !current_) return;
    for (const auto& glyph : DecodeGlyphs(*current_, string.getStringValue())) {
      if (glyph.unicode != u" ") text += glyph.unicode;
    }
  }

  QPDFObjectHandle fonts_;
  ErrorSink& sink_;
  std::vector<QPDFObjectHandle> operands_;
  std::shared_ptr<PdfFont> current_;
};

struct PageText {
  std::string text;  // without spaces
  std::map<std::string, std::shared_ptr<PdfFont>> fonts;
};

std::vector<PageText> ReadFixture(QPDF& pdf, const char* name, RecordingSink& sink) {
  pdf.processFile(FixturePath(name).c_str());
  std::vector<PageText> pages;
  for (auto& page : QPDFPageDocumentHelper(pdf).getAllPages()) {
    auto fonts = page.getAttribute("/Resources", false).getKey("/Font");
    TextCollector collector(fonts, sink);
    page.parseContents(&collector);
    pages.push_back({Utf8(collector.text), collector.loaded});
  }
  return pages;
}

std::shared_ptr<PdfFont> FontByBaseName(const PageText& page, std::string_view baseName) {
  for (const auto& [key, font] : page.fonts) {
    if (font->Info().FontName && std::string_view(font->Info().FontName).ends_with(baseName)) {
      return font;
    }
  }
  return nullptr;
}

TEST(FontFixtures, ReportLabStandardFontsAndTrueTypeSubset) {
  QPDF pdf;
  RecordingSink sink;
  auto pages = ReadFixture(pdf, "reportlab_fonts.pdf", sink);
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[0].text, "HelloWorldCafé–naïvecode42αβγ");
  EXPECT_EQ(pages[1].text, "Zebraquiz");
  EXPECT_TRUE(sink.entries.empty());

  auto helvetica = FontByBaseName(pages[0], "Helvetica");
  ASSERT_NE(helvetica, nullptr);
  EXPECT_DOUBLE_EQ(helvetica->SpaceAdvance(), 0.278);
  EXPECT_EQ(helvetica->Info().FontType, PDF_FT_TYPE1);

  // The subset: codes in order of use, no /Encoding, only ToUnicode tells the text.
  auto subset = FontByBaseName(pages[1], "+LiberationSans");
  ASSERT_NE(subset, nullptr);
  EXPECT_STREQ(subset->Info().FontName, "AAAAAA+LiberationSans");
  EXPECT_EQ(subset->Info().FontType, PDF_FT_TRUETYPE);
  std::string bytes;
  std::vector<double> advances;
  ASSERT_TRUE(subset->Encode(u"quiz Zebra", bytes, &advances));
  EXPECT_EQ(Utf8(fonttest::DecodeText(*subset, bytes)), "quiz Zebra");
  EXPECT_NEAR(advances[0], 0.556, 0.001);
  bytes.clear();
  EXPECT_FALSE(subset->Encode(u"Ωmega", bytes, nullptr));  // 'Ω' isn't in the subset
  EXPECT_NEAR(subset->SpaceAdvance(), 0.278, 0.001);
}

TEST(FontFixtures, GroffType1WithDifferences) {
  QPDF pdf;
  RecordingSink sink;
  auto pages = ReadFixture(pdf, "groff_type1.pdf", sink);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].text, "Theofficeaffordsfinecoffee—ata€price.BoldItalictext");
  auto italic = FontByBaseName(pages[0], "Times-Italic");
  ASSERT_NE(italic, nullptr);
  EXPECT_LT(italic->Info().ItalicAngle, 0);
}

TEST(FontFixtures, GhostscriptCffWithoutToUnicode) {
  QPDF pdf;
  RecordingSink sink;
  auto pages = ReadFixture(pdf, "ghostscript_cff.pdf", sink);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].text, "Theofficeaffordsfinecoffee—ata€price.BoldItalictext");
  auto roman = FontByBaseName(pages[0], "+Times-Roman");
  ASSERT_NE(roman, nullptr);
  EXPECT_EQ(roman->Info().FontType, PDF_FT_TYPE1);  // FontFile3 /Type1C
  // The subset has the glyphs it used and no others.
  std::string bytes;
  EXPECT_TRUE(roman->Encode(u"coffee", bytes, nullptr));
  bytes.clear();
  EXPECT_FALSE(roman->Encode(u"Zulu", bytes, nullptr));
  EXPECT_NEAR(roman->SpaceAdvance(), 0.25, 0.001);
}

TEST(FontFixtures, GhostscriptType3) {
  QPDF pdf;
  RecordingSink sink;
  auto pages = ReadFixture(pdf, "type3_font.pdf", sink);
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].text, "AAA");
  ASSERT_EQ(pages[0].fonts.size(), 1u);
  auto font = pages[0].fonts.begin()->second;
  EXPECT_EQ(font->Info().FontType, PDF_FT_TYPE3);
  auto glyphs = DecodeGlyphs(*font, "A B");
  EXPECT_NEAR(glyphs[0].advance, 0.6, 1e-9);
  EXPECT_NEAR(glyphs[1].advance, 0.25, 1e-9);
  EXPECT_NEAR(font->SpaceAdvance(), 0.25, 1e-9);
}

}  // namespace
}  // namespace pdfcore

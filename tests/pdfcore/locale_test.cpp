// The core library writes and reads PDF numbers the same way whatever the process locale: the
// window runs under the user's, where the C library writes "0,5" and reads "0.5" as 0.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <string>

#include <qpdf/QPDFWriter.hh>

#include "../locale_support.h"
#include "base/number_format.h"
#include "content/text_content.h"
#include "content_test_support.h"
#include "core/color_table.h"
#include "core/font_cache.h"
#include "textout_support.h"

namespace {

using pdfcore::FormatNumber;

// What `make` gives under C, then under each unusual locale that can be had; those must agree.
void ExpectSameUnderEveryLocale(const std::function<std::string()>& make) {
  const std::string underC = make();
  ASSERT_FALSE(underC.empty());
  for (const std::string& name : test_locale::Unusual()) {
    test_locale::Scoped locale(name);
    if (!locale.Active()) {
      std::cout << "[ SKIPPED ] locale " << name << " can't be made here\n";
      continue;
    }
    EXPECT_EQ(make(), underC) << "under " << name;
  }
}

TEST(LocaleFreeNumbers, FormatAndParseIgnoreTheLocale) {
  struct Case {
    double value;
    int decimals;
    const char* text;
  };
  const Case cases[] = {{0.5, 6, "0.5"},
                        {-16283.25, 4, "-16283.25"},
                        {2.0 / 3, 4, "0.6667"},
                        {100, 0, "100"},
                        {1.1 * 100, 6, "110"},
                        {-0.00001, 4, "0"},
                        {1e15, 4, "1000000000000"},
                        {-1e300, 6, "-1000000000000"},
                        {std::numeric_limits<double>::quiet_NaN(), 6, "0"},
                        {std::numeric_limits<double>::infinity(), 6, "0"}};
  ExpectSameUnderEveryLocale([&] {
    std::string all;
    for (const Case& c : cases) {
      std::string text = FormatNumber(c.value, c.decimals);
      EXPECT_EQ(text, c.text) << c.value;
      all += text + " ";
    }
    double parsed = 0;
    EXPECT_TRUE(pdfcore::ParsePdfNumber("--3.5", parsed));
    EXPECT_EQ(parsed, 3.5);
    EXPECT_FALSE(pdfcore::ParsePdfNumber("3,5", parsed));
    for (const char* real : {"0.5", "-.25", "4.", "12"}) {
      auto value = pdfcore::NumberValue(QPDFObjectHandle::parse(real));
      EXPECT_TRUE(value.has_value()) << real;
      all += FormatNumber(value.value_or(-1)) + " ";
    }
    EXPECT_FALSE(pdfcore::NumberValue(QPDFObjectHandle::parse("/Name")).has_value());
    return all;
  });
}

// Fonts read by the library's own loader, so real widths in the font dictionary count.
class LoadedFonts final : public pdfcore::content::FontSource {
 public:
  explicit LoadedFonts(pdfcore::ErrorSink& errors) : cache_(errors) {}
  pdfcore::PdfFont* Font(QPDFObjectHandle dict) override {
    kept_.push_back(cache_.Get(dict));
    return kept_.back().get();
  }
  pdfcore::PdfFont* Fallback() override {
    return Font(QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
  }

 private:
  pdfcore::FontCache cache_;
  std::vector<std::shared_ptr<pdfcore::PdfFont>> kept_;
};

// A removal with fractional widths, spacing and scaling: the TJ displacement written in place of
// the text, and the widths it is computed from, must be the same numbers.
std::string ContentAfterRemoval() {
  content_test::TestDocument doc(
      "BT /F4 9.5 Tf 1.25 Tc 0.5 Tw 90.5 Tz 72 700 Td (Brand name) Tj ( stays) Tj ET");
  std::string widths = "[277.5";
  for (int c = 33; c <= 126; ++c) widths += " 556.25";
  // Not a standard font name: its own /Widths are what the library reads.
  doc.page.getKey("/Resources")
      .getKey("/Font")
      .replaceKey("/F4", QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont "
                                                 "/CorvellaStub /FirstChar 32 /LastChar 126 "
                                                 "/Widths " +
                                                 widths + "] >>"));
  content_test::RecordingSink errors;
  LoadedFonts fonts(errors);
  pdfcore::ColorTable colors;
  pdfcore::content::TextContent content(doc.pdf, doc.page, fonts, colors, errors);
  TPDFStack stack{};
  if (!content.Restart(stack) || !content.Next(stack) || !content.RemoveText(stack) ||
      !content.Flush()) {
    ADD_FAILURE() << "removal failed";
    return {};
  }
  auto buffer = doc.page.getKey("/Contents").getStreamData(qpdf_dl_generalized);
  return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

TEST(LocaleFreeContent, RemovalWritesTheSameBytesAsUnderC) {
  const std::string underC = ContentAfterRemoval();
  // 10 glyphs: 9 × 556.25 + 277.5 units, Tc on each, Tw on the space, all at 90.5 %; written as
  // the TJ number that moves the pen as far.
  const double advance = ((9 * 556.25 + 277.5) / 1000 * 9.5 + 10 * 1.25 + 0.5) * 0.905;
  const std::string shift = FormatNumber(-advance * 1000 / (9.5 * 0.905), 4);
  EXPECT_NE(underC.find("[" + shift + "] TJ"), std::string::npos) << underC;
  EXPECT_EQ(underC.find(','), std::string::npos) << underC;
  ExpectSameUnderEveryLocale(ContentAfterRemoval);
}

// Written text: every operand of the text state and the matrix, and the embedded subset's font
// dictionary and widths, in the bytes of the saved file.
std::string SavedFileAfterWrite() {
  QPDF pdf;
  pdf.processFile(textout_test::Fixture("helvetica_line.pdf").c_str());
  QPDFObjectHandle page = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle();
  textout_test::PageTarget target(page);
  pdfcore::TextOutput output(pdf);
  pdfcore::ColorTable colors;
  textout_test::RecordingSink sink;
  if (output.SetFont("Times New Roman", 0, 10.5, nullptr, sink) < 0) {
    ADD_FAILURE() << "no font";
    return {};
  }
  target.state.charSpacing = -0.25;
  target.state.wordSpacing = 1.5;
  target.state.horizontalScale = 1.125;
  output.SetFillColorSpace(PDF_CS_DEVICE_RGB);
  output.SetFillColor(colors.AddColor({{0.1, 0.25, 0.5}, {}, {}}));
  TPDFMatrix m{0.9659, 0.2588, -0.2588, 0.9659, 40.5, 300.25};
  if (output.Write(target, m, u"Jane Doé, 12.5 %", colors, sink) != 0) {
    ADD_FAILURE() << "write failed";
    return {};
  }
  const std::string operators = target.added;
  target.Flush(pdf);
  output.FinalizeFonts(sink);
  QPDFWriter writer(pdf);
  writer.setOutputMemory();
  writer.setStaticID(true);
  writer.setStreamDataMode(qpdf_s_uncompress);
  writer.write();
  auto buffer = writer.getBufferSharedPointer();
  return operators +
         std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

TEST(LocaleFreeContent, WrittenTextAndItsFontAreTheSameBytesAsUnderC) {
  const std::string underC = SavedFileAfterWrite();
  EXPECT_NE(
      underC.find("-0.25 Tc\n1.5 Tw\n112.5 Tz\n0.9659 0.2588 -0.2588 0.9659 40.5 300.25 Tm\n"),
      std::string::npos)
      << underC.substr(0, 400);
  ExpectSameUnderEveryLocale(SavedFileAfterWrite);
}

}  // namespace

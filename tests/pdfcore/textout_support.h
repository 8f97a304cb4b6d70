// Helpers for the text output tests: a page of a real PDF as the target of written text,
// a document font with a simple one-byte encoding, and the independent tools that judge
// the written file.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "core/errors.h"
#include "fonts/pdf_font.h"
#include "textout/text_output.h"

namespace textout_test {

inline std::string Fixture(const std::string& name) {
  return std::string(CORVELLA_FIXTURES_DIR) + "/textout/" + name;
}

struct Report {
  int32_t code;
  std::string message;
  int32_t type;
};

class RecordingSink final : public pdfcore::ErrorSink {
 public:
  void Report(int32_t code, const std::string& message, int32_t type) override {
    reports.push_back({code, message, type});
  }
  size_t CountContaining(const std::string& text) const {
    size_t n = 0;
    for (const auto& r : reports) n += r.message.find(text) != std::string::npos;
    return n;
  }
  std::vector<textout_test::Report> reports;
};

// Writes into a page the way the content editor does: the page's content wrapped in q/Q,
// the added operators after it.
class PageTarget final : public pdfcore::TextTarget {
 public:
  explicit PageTarget(QPDFObjectHandle page) : page_(page) {}
  const pdfcore::TextStateSnapshot& State() const override { return state; }
  void Append(const std::string& operators) override { added += operators; }
  QPDFObjectHandle Owner() const override { return page_; }
  QPDFObjectHandle FontDictionary(const pdfcore::PdfFont* font) override {
    auto found = fonts.find(font);
    return found == fonts.end() ? QPDFObjectHandle::newNull() : found->second;
  }
  void Flush(QPDF& pdf) {
    QPDFPageObjectHelper helper(page_);
    helper.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n"), true);
    helper.addPageContents(QPDFObjectHandle::newStream(&pdf, "Q\n" + added), false);
    added.clear();
  }

  pdfcore::TextStateSnapshot state;
  std::string added;
  std::map<const pdfcore::PdfFont*, QPDFObjectHandle> fonts;

 private:
  QPDFObjectHandle page_;
};

// A non-embedded standard font with a one-byte Latin-1 encoding: it shows what its encoding
// reaches, each glyph 0.5 em wide, code 32 a word space.
class Latin1Font final : public pdfcore::PdfFont {
 public:
  explicit Latin1Font(const char* name) { info_.FontName = name; }
  void Decode(std::string_view bytes, std::vector<pdfcore::DecodedGlyph>& out) const override {
    for (char c : bytes) {
      pdfcore::DecodedGlyph glyph;
      glyph.code = static_cast<unsigned char>(c);
      glyph.unicode = std::u16string(1, static_cast<char16_t>(glyph.code));
      glyph.advance = 0.5;
      glyph.isWordSpace = glyph.code == 32;
      out.push_back(glyph);
    }
  }
  double SpaceAdvance() const override { return 0.5; }
  const TPDFFontInfo& Info() const override { return info_; }
  void FontMatrix(double m[6]) const override {
    const double identity[6] = {0.001, 0, 0, 0.001, 0, 0};
    std::copy(identity, identity + 6, m);
  }
  bool Encode(std::u16string_view text, std::string& bytes,
              std::vector<double>* advances) const override {
    for (char16_t c : text) {
      if (c < 0x20 || c > 0xFF) return false;
      bytes += static_cast<char>(c);
      if (advances) advances->push_back(0.5);
    }
    return true;
  }

 private:
  TPDFFontInfo info_{};
};

inline std::string RunTool(const std::string& command) {
  std::string out;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
  if (!pipe) return out;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe.get())) > 0) out.append(buffer.data(), n);
  return out;
}

// A fixture opened for writing into its first page, and saved to a temporary file.
class TextOutputFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    pdf.processFile(Fixture("helvetica_line.pdf").c_str());
    page = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle();
    target = std::make_unique<PageTarget>(page);
    output = std::make_unique<pdfcore::TextOutput>(pdf);
    outPath = std::filesystem::temp_directory_path() /
              (std::string("textout_") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".pdf");
  }
  void TearDown() override {
    if (!getenv("TEXTOUT_KEEP_OUTPUT")) std::filesystem::remove(outPath);
  }

  void Save() {
    target->Flush(pdf);
    output->FinalizeFonts(sink);
    QPDFWriter writer(pdf, outPath.c_str());
    writer.setStaticID(true);
    writer.write();
  }

  int32_t Write(double x, double y, const std::u16string& text) {
    TPDFMatrix m{1, 0, 0, 1, x, y};
    return output->Write(*target, m, text, colors, sink);
  }

  QPDF pdf;
  QPDFObjectHandle page;
  std::unique_ptr<PageTarget> target;
  std::unique_ptr<pdfcore::TextOutput> output;
  pdfcore::ColorTable colors;
  RecordingSink sink;
  std::filesystem::path outPath;
};

}  // namespace textout_test

// Helpers for the content interpreter tests: a stand-in font that reads widths straight from the
// font dictionary, documents built with QPDF, and copies of text records.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include "content/state.h"
#include "content/text_content.h"
#include "fonts/pdf_font.h"

namespace content_test {

// Widths from /FirstChar + /Widths (simple fonts), /DW + /W (Type0, two-byte codes), scaled by
// /FontMatrix for Type3. Text: the code as a UTF-16 unit.
class StubFont final : public pdfcore::PdfFont {
 public:
  explicit StubFont(QPDFObjectHandle dict) {
    if (!dict.isDictionary()) return;
    std::string subtype = dict.getKey("/Subtype").isName() ? dict.getKey("/Subtype").getName() : "";
    if (subtype == "/Type0") {
      twoByte_ = true;
      QPDFObjectHandle descendant = dict.getKey("/DescendantFonts").getArrayItem(0);
      if (descendant.getKey("/DW").isNumber())
        fallbackWidth_ = descendant.getKey("/DW").getNumericValue();
      QPDFObjectHandle w = descendant.getKey("/W");
      for (int i = 0; w.isArray() && i + 1 < w.getArrayNItems(); i += 2) {
        int first = w.getArrayItem(i).getIntValueAsInt();
        QPDFObjectHandle list = w.getArrayItem(i + 1);
        for (int j = 0; list.isArray() && j < list.getArrayNItems(); ++j) {
          widths_[first + j] = list.getArrayItem(j).getNumericValue();
        }
      }
    } else {
      int first =
          dict.getKey("/FirstChar").isInteger() ? dict.getKey("/FirstChar").getIntValueAsInt() : 0;
      QPDFObjectHandle w = dict.getKey("/Widths");
      for (int j = 0; w.isArray() && j < w.getArrayNItems(); ++j) {
        widths_[first + j] = w.getArrayItem(j).getNumericValue();
      }
    }
    if (subtype == "/Type3" && dict.getKey("/FontMatrix").isArray()) {
      unitScale_ = dict.getKey("/FontMatrix").getArrayItem(0).getNumericValue();
      matrix_[0] = unitScale_;
      matrix_[3] = dict.getKey("/FontMatrix").getArrayItem(3).getNumericValue();
    }
    info_.FontName = "Stub";
  }

  void Decode(std::string_view bytes, std::vector<pdfcore::DecodedGlyph>& out) const override {
    size_t step = twoByte_ ? 2 : 1;
    for (size_t i = 0; i + step <= bytes.size(); i += step) {
      pdfcore::DecodedGlyph glyph;
      glyph.code = static_cast<unsigned char>(bytes[i]);
      if (twoByte_) glyph.code = glyph.code << 8 | static_cast<unsigned char>(bytes[i + 1]);
      glyph.codeLength = static_cast<uint8_t>(step);
      glyph.unicode = std::u16string(1, static_cast<char16_t>(glyph.code));
      glyph.advance = Width(glyph.code) * unitScale_;
      glyph.isWordSpace = !twoByte_ && glyph.code == 32;
      out.push_back(glyph);
    }
  }
  double SpaceAdvance() const override { return Width(32) * unitScale_; }
  const TPDFFontInfo& Info() const override { return info_; }
  void FontMatrix(double m[6]) const override {
    for (int i = 0; i < 6; ++i) m[i] = matrix_[i];
  }
  bool Encode(std::u16string_view, std::string&, std::vector<double>*) const override {
    return false;
  }

 private:
  double Width(uint32_t code) const {
    auto found = widths_.find(code);
    return found != widths_.end() ? found->second : fallbackWidth_;
  }
  std::map<uint32_t, double> widths_;
  double fallbackWidth_ = 500;
  double unitScale_ = 0.001;
  double matrix_[6] = {0.001, 0, 0, 0.001, 0, 0};
  bool twoByte_ = false;
  TPDFFontInfo info_{};
};

class StubFonts final : public pdfcore::content::FontSource {
 public:
  pdfcore::PdfFont* Font(QPDFObjectHandle dict) override {
    QPDFObjGen key =
        dict.isIndirect() ? dict.getObjGen() : QPDFObjGen(-1 - static_cast<int>(fonts_.size()), 0);
    auto& slot = fonts_[key];
    if (!slot) slot = std::make_unique<StubFont>(dict);
    return slot.get();
  }
  pdfcore::PdfFont* Fallback() override {
    if (!fallback_) fallback_ = std::make_unique<StubFont>(QPDFObjectHandle::newNull());
    ++fallbackUses;
    return fallback_.get();
  }
  int fallbackUses = 0;

 private:
  std::map<QPDFObjGen, std::unique_ptr<StubFont>> fonts_;
  std::unique_ptr<StubFont> fallback_;
};

class RecordingSink final : public pdfcore::ErrorSink {
 public:
  void Report(int32_t, const std::string& message, int32_t) override {
    messages.push_back(message);
  }
  bool Has(const std::string& part) const {
    for (const auto& m : messages) {
      if (m.find(part) != std::string::npos) return true;
    }
    return false;
  }
  std::vector<std::string> messages;
};

// Widths string for /Widths from 32 to 126: space 250, everything else 500.
inline std::string PlainWidths() {
  std::string widths = "[250";
  for (int c = 33; c <= 126; ++c) widths += " 500";
  return widths + "]";
}

// A one-page document with fonts F1 (Helvetica, explicit widths), F2 (Type0, 1000 units per
// glyph), F3 (Type3, FontMatrix 0.01, widths 50) and extra resources.
struct TestDocument {
  QPDF pdf;
  QPDFObjectHandle page;

  explicit TestDocument(const std::string& content, const std::string& extraResources = "") {
    pdf.emptyPDF();
    QPDFObjectHandle f1 = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding "
        "/FirstChar 32 /LastChar 126 /Widths " +
        PlainWidths() + " >>"));
    QPDFObjectHandle f2 = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type0 /BaseFont /Stub /Encoding /Identity-H "
        "/DescendantFonts [ << /Type /Font /Subtype /CIDFontType2 /BaseFont /Stub /DW 1000 "
        "/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) /Supplement 0 >> >> ] >>"));
    QPDFObjectHandle f3 = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type3 /FontBBox [0 0 100 100] /FontMatrix [0.01 0 0 0.01 0 0] "
        "/CharProcs << >> /Encoding << /Differences [] >> /FirstChar 32 /LastChar 126 /Widths [" +
        std::string("25") +
        [] {
          std::string s;
          for (int c = 33; c <= 126; ++c) s += " 50";
          return s;
        }() +
        "] >>"));
    QPDFObjectHandle resources = QPDFObjectHandle::parse("<< " + extraResources + " >>");
    QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
    fonts.replaceKey("/F1", f1);
    fonts.replaceKey("/F2", f2);
    fonts.replaceKey("/F3", f3);
    resources.replaceKey("/Font", fonts);
    page = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 600 400] >>"));
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", pdf.newStream(content));
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(page), false);
    page = QPDFPageDocumentHelper(pdf).getAllPages().at(0).getObjectHandle();
  }

  std::string Write(const std::string& path) {
    QPDFWriter writer(pdf, path.c_str());
    writer.write();
    return path;
  }
};

// A copy of a text record that outlives the next call.
struct Piece {
  double advance = 0;
  std::u16string text;
  double width = 0;
};
struct Record {
  TPDFMatrix ctm{};
  TPDFMatrix tm{};
  double size = 0;
  int drawMode = 0;
  int32_t fillSpace = 0, strokeSpace = 0;
  uint32_t fill = 0, stroke = 0;
  std::vector<Piece> pieces;
  double textWidth = 0;
  void* font = nullptr;
  double spaceWidth = 0;

  std::u16string Text() const {
    std::u16string all;
    for (const auto& p : pieces) all += p.text;
    return all;
  }
};

inline Record Copy(const TPDFStack& stack) {
  Record r;
  r.ctm = stack.ctm;
  r.tm = stack.tm;
  r.size = stack.FontSize;
  r.drawMode = stack.DrawMode;
  r.fillSpace = stack.FillColorSpace;
  r.strokeSpace = stack.StrokeColorSpace;
  r.fill = stack.FillColor;
  r.stroke = stack.StrokeColor;
  for (int i = 0; i < stack.KerningCount; ++i) {
    const TPDFKerning& k = stack.Kerning[i];
    Piece p;
    p.advance = k.Advance;
    p.width = k.Width;
    for (int j = 0; j < k.Length; ++j) p.text += static_cast<char16_t>(k.Text[j]);
    r.pieces.push_back(p);
  }
  r.textWidth = stack.TextWidth;
  r.font = stack.Font;
  r.spaceWidth = stack.SpaceWidth;
  return r;
}

template <typename Editor>
std::vector<Record> AllRecords(Editor& editor) {
  std::vector<Record> records;
  TPDFStack stack{};
  if (!editor.Restart(stack)) return records;
  while (editor.Next(stack)) records.push_back(Copy(stack));
  return records;
}

inline std::u16string U(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

// Runs a command and returns its standard output.
inline std::string Run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  pclose(pipe);
  return out;
}

inline std::string TempPath(const std::string& name) {
  // Per process, so test runs side by side never share a file.
  auto dir = std::filesystem::temp_directory_path() /
             ("corvella_content_tests_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

}  // namespace content_test

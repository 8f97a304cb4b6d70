// Support for the font tests: font dictionaries made with QPDF, an error sink that keeps what
// it was told, and decoding to plain text.
#pragma once

#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/errors.h"
#include "fonts/pdf_font.h"

namespace pdfcore::fonttest {

struct RecordingSink final : ErrorSink {
  struct Entry {
    int32_t code;
    std::string message;
    int32_t type;
  };
  std::vector<Entry> entries;
  void Report(int32_t code, const std::string& message, int32_t type) override {
    entries.push_back({code, message, type});
  }
  bool AllFontWarnings() const {
    for (const auto& e : entries) {
      if ((e.type & (PDF_E_FONT | PDF_E_WARNING)) != (PDF_E_FONT | PDF_E_WARNING)) return false;
    }
    return true;
  }
};

// A document to hang test objects on.
struct TestDocument {
  QPDF pdf;
  TestDocument() { pdf.emptyPDF(); }

  // Parses a dictionary written in PDF syntax; "N 0 R" refer to objects made before.
  QPDFObjectHandle Object(const std::string& text) {
    return pdf.makeIndirectObject(QPDFObjectHandle::parse(&pdf, text));
  }

  QPDFObjectHandle Stream(const std::string& data, const std::string& dict = "<< >>") {
    auto stream = QPDFObjectHandle::newStream(&pdf, data);
    auto extra = QPDFObjectHandle::parse(&pdf, dict);
    for (const auto& key : extra.getKeys()) stream.getDict().replaceKey(key, extra.getKey(key));
    return pdf.makeIndirectObject(stream);
  }

  // "N 0 R" of an object, for use in Object().
  static std::string Ref(QPDFObjectHandle object) {
    return std::to_string(object.getObjectID()) + " 0 R";
  }
};

inline std::u16string DecodeText(const PdfFont& font, std::string_view bytes) {
  std::vector<DecodedGlyph> glyphs;
  font.Decode(bytes, glyphs);
  std::u16string text;
  for (const auto& glyph : glyphs) text += glyph.unicode;
  return text;
}

inline std::vector<DecodedGlyph> DecodeGlyphs(const PdfFont& font, std::string_view bytes) {
  std::vector<DecodedGlyph> glyphs;
  font.Decode(bytes, glyphs);
  return glyphs;
}

inline std::string Utf8(std::u16string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

}  // namespace pdfcore::fonttest

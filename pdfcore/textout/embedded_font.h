// One system font embedded in a document: a Type0 font with Identity-H codes (the glyph ids).
// While the document is edited the font carries the widths and ToUnicode entries of every
// glyph of the font, so content written with it reads back right whenever it is parsed (and
// a font loaded once stays right after later writes); when the document is about to be
// written, Build trims them to the glyphs used and adds the subset program.
#pragma once

#include <cstdint>
#include <map>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/errors.h"
#include "textout/sfnt_face.h"

namespace pdfcore {

class EmbeddedFont {
 public:
  // Reserves the font's object in `pdf`, so content can refer to it at once.
  EmbeddedFont(QPDF& pdf, const SfntFace& face);

  QPDFObjectHandle FontObject() const { return type0_; }

  // Records that `glyph` is shown, standing for `codePoint` (the first character seen for a
  // glyph gives its ToUnicode entry).
  void UseGlyph(uint32_t glyph, char32_t codePoint);

  bool HasGlyphs() const { return !glyphs_.empty(); }

  // Trims the font to the glyphs used and embeds their subset; may be called again after
  // more writes.
  void Build(ErrorSink& errors);

 private:
  void SetEditingTables();
  std::string SubsetTag() const;
  QPDFObjectHandle WidthsArray(const std::map<uint32_t, char32_t>& glyphs) const;
  QPDFObjectHandle ToUnicodeStream(const std::map<uint32_t, char32_t>& glyphs) const;
  void SetDescriptor(const std::string& baseFont, const std::string& program);

  QPDF& pdf_;
  const SfntFace& face_;
  QPDFObjectHandle type0_;
  QPDFObjectHandle cidFont_;
  QPDFObjectHandle descriptor_;
  std::map<uint32_t, char32_t> glyphs_;
  bool trimmed_ = false;
};

}  // namespace pdfcore

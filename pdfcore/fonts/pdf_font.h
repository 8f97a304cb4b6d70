// A font of a PDF document as the content interpreter needs it: decoding of string
// operands into glyphs (codes, Unicode text, advances), and the facts fntGetFont reports.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

#include "core/errors.h"
#include "dynapdf_abi.h"

namespace pdfcore {

struct DecodedGlyph {
  uint32_t code = 0;          // the character code as read from the string
  uint8_t codeLength = 1;     // bytes it took in the string (1 for simple fonts)
  std::u16string unicode;     // its text (may be several code units, or empty when unknown)
  double advance = 0;         // horizontal displacement for font size 1, before Tc/Tw/Tz
                              // (glyph width / 1000, or width x FontMatrix.a for Type3)
  bool isWordSpace = false;   // single-byte code 32: word spacing (Tw) applies
};

// What the content interpreter needs of a glyph beyond its text.
struct GlyphMetrics {
  double advance = 0;        // as DecodedGlyph::advance
  bool isWordSpace = false;  // as DecodedGlyph::isWordSpace
};

// What a font's descriptor and embedded program say about its look, beyond the flags of
// TPDFFontInfo; 0 or false where they say nothing.
struct FontStyleFacts {
  int weight = 0;        // 100..900: the program's OS/2 weight class or Type1/CFF Weight, else
                         // the descriptor's /FontWeight
  int widthClass = 0;    // 1..9 as OS/2 usWidthClass (5 normal): the program's, else /FontStretch
  bool italic = false;   // the program says italic or oblique (OS/2 fsSelection, FreeType)
  bool bold = false;     // the program says bold
  int serif = -1;        // PANOSE of the program or the descriptor: 1 serif, 0 sans, -1 unknown
  bool monospaced = false;  // PANOSE proportion: monospaced
};

class PdfFont {
public:
  virtual ~PdfFont() = default;

  // Builds the font from a font dictionary. Never throws for damaged fonts: what can't be
  // read is reported to `errors` and a best-effort font is returned.
  static std::shared_ptr<PdfFont> Load(QPDFObjectHandle fontDict, ErrorSink& errors);

  // Splits a string operand into glyphs, appending to `out`.
  virtual void Decode(std::string_view bytes, std::vector<DecodedGlyph>& out) const = 0;

  // Decode() as the content interpreter uses it, without a string per glyph: appends the text of
  // every glyph to `text` and its metrics to `metrics`, in order.
  virtual void DecodeText(std::string_view bytes, std::u16string& text,
                          std::vector<GlyphMetrics>& metrics) const {
    std::vector<DecodedGlyph> glyphs;
    Decode(bytes, glyphs);
    for (const DecodedGlyph& glyph : glyphs) {
      text += glyph.unicode;
      metrics.push_back(GlyphMetrics{glyph.advance, glyph.isWordSpace});
    }
  }

  // Advance of a space for font size 1 (the glyph of U+0020 when the font has one,
  // else an estimate from the font's widths).
  virtual double SpaceAdvance() const = 0;

  // Font descriptor flags, BaseFont (subset prefix included), type code, italic angle.
  // The name pointer stays valid for the font's life.
  virtual const TPDFFontInfo& Info() const = 0;

  virtual FontStyleFacts StyleFacts() const { return {}; }

  // Type3 fonts: the FontMatrix; identity-scaled (0.001) for the others.
  virtual void FontMatrix(double m[6]) const = 0;

  // Reverse of Decode, for writing new text in this font: the string operand that shows
  // `text`, with the advance of each glyph (font size 1). False when some character can't be
  // shown: no code reaches it, or an embedded program lacks its glyph.
  virtual bool Encode(std::u16string_view text, std::string& bytes,
                      std::vector<double>* advances) const = 0;
};

}  // namespace pdfcore

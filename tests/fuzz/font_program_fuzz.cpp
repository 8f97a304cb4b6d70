// Font program loading: the bytes as a FreeType font program (every query the core library
// makes of one), and the same bytes embedded in a PDF font dictionary as FontFile, FontFile2 or
// FontFile3, decoded and encoded as the content interpreter and the text output do.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include "core/errors.h"
#include "fonts/font_program.h"
#include "fonts/pdf_font.h"
#include "fuzz_support.h"

namespace {

void QueryProgram(const pdfcore::FontProgram& program) {
  const uint32_t glyphs = program.GlyphCount();
  program.HasGlyphNames();
  program.IsCidKeyed();
  program.IsTrueType();
  program.GlyphByName("A");
  program.GlyphByName(".notdef");
  program.GlyphByCmap(3, 1, 'A');
  program.GlyphByCmap(1, 0, 'A');
  program.HasCmap(3, 0);
  program.GlyphByCid(1);
  program.BuiltinEncoding();
  program.UnicodeByGlyph();
  for (uint32_t gid : {0u, 1u, 2u, glyphs - 1, glyphs, 65535u}) {
    program.GlyphName(gid);
    program.HasRealGlyph(gid, false);
    program.AdvanceWidth(gid);
  }
}

// Embeds the program the way producers do for each kind of font file.
QPDFObjectHandle FontDictionary(QPDF& pdf, int kind, const std::string& program) {
  static const char* const kFileKeys[] = {"/FontFile", "/FontFile2", "/FontFile3"};
  QPDFObjectHandle file = QPDFObjectHandle::newStream(&pdf, program);
  if (kind == 2) file.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Type1C"));
  QPDFObjectHandle descriptor = QPDFObjectHandle::parse(
      "<< /Type /FontDescriptor /FontName /ABCDEF+Fuzz /Flags 32 /FontBBox [0 0 1000 1000] "
      "/ItalicAngle 0 /Ascent 800 /Descent -200 /CapHeight 700 /StemV 80 >>");
  descriptor.replaceKey(kFileKeys[kind], file);
  QPDFObjectHandle font = QPDFObjectHandle::parse(
      "<< /Type /Font /BaseFont /ABCDEF+Fuzz /FirstChar 32 /LastChar 126 "
      "/Encoding /WinAnsiEncoding >>");
  font.replaceKey("/Subtype", QPDFObjectHandle::newName(kind == 1 ? "/TrueType" : "/Type1"));
  font.replaceKey("/FontDescriptor", pdf.makeIndirectObject(descriptor));
  return pdf.makeIndirectObject(font);
}

void UseAsPdfFont(int kind, const std::string& program) {
  QPDF pdf;
  pdf.emptyPDF();
  pdfcore::NullErrorSink errors;
  std::shared_ptr<pdfcore::PdfFont> font =
      pdfcore::PdfFont::Load(FontDictionary(pdf, kind, program), errors);
  std::vector<pdfcore::DecodedGlyph> glyphs;
  font->Decode("Hello, world \x80\xff", glyphs);
  font->SpaceAdvance();
  std::string bytes;
  std::vector<double> advances;
  font->Encode(u"Rebranded \u00e9\u20ac", bytes, &advances);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the font file key; the rest is the program.
  const int kind = data[0] % 3;
  std::string program(fuzz::AsText(data + 1, size - 1));
  if (auto opened = pdfcore::FontProgram::Open(program)) QueryProgram(*opened);
  UseAsPdfFont(kind, program);
  return 0;
}

// Metrics of the standard 14 fonts, for fonts that are neither embedded nor given /Widths.
#pragma once

#include <string_view>

namespace pdfcore::standard {

struct GlyphWidth {
  const char* name;
  int width;  // glyph space units (1/1000 em)
};

struct StandardFont {
  const char* name;
  const GlyphWidth* widths;  // sorted by name (byte order)
  int count;
  double italicAngle;
  bool fixedPitch;
};

extern const StandardFont kStandardFonts[14];

// The standard font a BaseFont stands for, with the usual aliases (Arial, TimesNewRoman,
// CourierNew and their PostScript names, ",Bold"-style suffixes); nullptr when none.
const StandardFont* Find(std::string_view baseFont);

// Width of a glyph in a standard font; negative when the font has no such glyph.
int WidthOf(const StandardFont& font, std::string_view glyph);

bool IsSymbol(const StandardFont& font);
bool IsZapfDingbats(const StandardFont& font);

}  // namespace pdfcore::standard

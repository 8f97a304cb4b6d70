// Glyph names to Unicode, by the rules of the Adobe Glyph List: the list itself, uniXXXX and
// uXXXX[XX] names, suffixes after '.', ligatures joined with '_'.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pdfcore {

namespace glyphs {
struct GlyphListEntry {
  const char* name;
  char16_t units[4];  // zero-terminated when shorter than 4
};
extern const GlyphListEntry kGlyphList[];  // sorted by name (byte order)
extern const size_t kGlyphListSize;
}  // namespace glyphs

// The text of a glyph name; empty when the name says nothing (".notdef", "g123").
std::u16string GlyphNameToUnicode(std::string_view name);

// Appends a code point as UTF-16; invalid code points (surrogates, > U+10FFFF) are dropped.
void AppendCodePoint(std::u16string& out, char32_t cp);

}  // namespace pdfcore

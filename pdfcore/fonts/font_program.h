// An embedded font program (FontFile, FontFile2, FontFile3) opened with FreeType from memory:
// glyph lookup by name or code, glyph names, the built-in encoding, advance widths.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace pdfcore {

// What the program itself says about its style; 0 / false / -1 where it says nothing.
struct ProgramStyle {
  int weight = 0;      // OS/2 usWeightClass, or the Weight of a Type1/CFF FontInfo, 100..900
  int widthClass = 0;  // OS/2 usWidthClass, 1..9
  bool italic = false;
  bool bold = false;
  int serif = -1;  // from PANOSE: 1 serif, 0 sans
  bool monospaced = false;
};

// "Bold", "Semibold", "Light", ... as a weight of 100..900; 0 for words that name none.
int WeightOfStyleName(std::string_view name);

class FontProgram {
 public:
  ~FontProgram();
  FontProgram(const FontProgram&) = delete;
  FontProgram& operator=(const FontProgram&) = delete;

  // Null when FreeType can't read the data.
  static std::unique_ptr<FontProgram> Open(std::string data);

  uint32_t GlyphCount() const;
  bool HasGlyphNames() const;
  bool IsCidKeyed() const;
  bool IsTrueType() const;

  // 0 when the program has no glyph of that name.
  uint32_t GlyphByName(const std::string& name) const;
  std::string GlyphName(uint32_t gid) const;

  // Glyph of a code through the cmap subtable (platform, encoding); 0 when none.
  uint32_t GlyphByCmap(uint16_t platform, uint16_t encoding, uint32_t code) const;
  bool HasCmap(uint16_t platform, uint16_t encoding) const;

  // Glyph of a CID in a CID-keyed CFF program (GID = CID for the others).
  uint32_t GlyphByCid(uint32_t cid) const;

  // The encoding the program carries (Type1 and CFF): glyph names by code, empty when none.
  std::array<std::string, 256> BuiltinEncoding() const;

  // The Unicode cmap (3,1) or (3,10) read backwards: glyph -> code point.
  std::unordered_map<uint32_t, char32_t> UnicodeByGlyph() const;

  // True when the glyph exists and draws something (`allowBlank` accepts empty glyphs, for
  // white space).
  bool HasRealGlyph(uint32_t gid, bool allowBlank) const;

  ProgramStyle Style() const;

  // Advance width in 1/1000 em; nullopt when the glyph can't be loaded.
  std::optional<double> AdvanceWidth(uint32_t gid) const;

 private:
  struct State;
  explicit FontProgram(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace pdfcore

#include "fonts/font_program.h"

#include <algorithm>
#include <utility>

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_CID_H
#include FT_TRUETYPE_TABLES_H
#include FT_TYPE1_TABLES_H

#include "base/ascii.h"

namespace pdfcore {

struct FontProgram::State {
  std::string data;  // FreeType reads from it for the face's whole life
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  mutable std::unordered_map<uint32_t, uint32_t> glyphByCid;
  mutable bool cidMapBuilt = false;

  ~State() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }

  // Selects a cmap subtable for a lookup; FreeType keeps one charmap current per face.
  bool Select(uint16_t platform, uint16_t encoding) const {
    for (int i = 0; i < face->num_charmaps; ++i) {
      FT_CharMap map = face->charmaps[i];
      if (map->platform_id == platform && map->encoding_id == encoding) {
        return FT_Set_Charmap(face, map) == 0;
      }
    }
    return false;
  }
};

FontProgram::FontProgram(std::unique_ptr<State> state) : state_(std::move(state)) {}
FontProgram::~FontProgram() = default;

std::unique_ptr<FontProgram> FontProgram::Open(std::string data) {
  auto state = std::make_unique<State>();
  state->data = std::move(data);
  if (state->data.empty() || FT_Init_FreeType(&state->library) != 0) return nullptr;
  if (FT_New_Memory_Face(state->library, reinterpret_cast<const FT_Byte*>(state->data.data()),
                         static_cast<FT_Long>(state->data.size()), 0, &state->face) != 0) {
    return nullptr;
  }
  return std::unique_ptr<FontProgram>(new FontProgram(std::move(state)));
}

uint32_t FontProgram::GlyphCount() const { return static_cast<uint32_t>(state_->face->num_glyphs); }

bool FontProgram::HasGlyphNames() const { return FT_HAS_GLYPH_NAMES(state_->face); }

bool FontProgram::IsCidKeyed() const {
  FT_Bool cid = 0;
  return FT_Get_CID_Is_Internally_CID_Keyed(state_->face, &cid) == 0 && cid;
}

bool FontProgram::IsTrueType() const { return FT_IS_SFNT(state_->face); }

uint32_t FontProgram::GlyphByName(const std::string& name) const {
  if (!HasGlyphNames() || name.empty()) return 0;
  return FT_Get_Name_Index(state_->face, name.c_str());
}

std::string FontProgram::GlyphName(uint32_t gid) const {
  if (!HasGlyphNames() || gid >= GlyphCount()) return {};
  char buffer[256] = {};
  if (FT_Get_Glyph_Name(state_->face, gid, buffer, sizeof(buffer)) != 0) return {};
  return buffer;
}

bool FontProgram::HasCmap(uint16_t platform, uint16_t encoding) const {
  for (int i = 0; i < state_->face->num_charmaps; ++i) {
    FT_CharMap map = state_->face->charmaps[i];
    if (map->platform_id == platform && map->encoding_id == encoding) return true;
  }
  return false;
}

uint32_t FontProgram::GlyphByCmap(uint16_t platform, uint16_t encoding, uint32_t code) const {
  if (!state_->Select(platform, encoding)) return 0;
  return FT_Get_Char_Index(state_->face, code);
}

uint32_t FontProgram::GlyphByCid(uint32_t cid) const {
  if (!IsCidKeyed()) return cid;
  if (!state_->cidMapBuilt) {
    state_->cidMapBuilt = true;
    for (uint32_t gid = 0; gid < GlyphCount(); ++gid) {
      FT_UInt glyphCid = 0;
      if (FT_Get_CID_From_Glyph_Index(state_->face, gid, &glyphCid) == 0) {
        state_->glyphByCid.emplace(glyphCid, gid);
      }
    }
  }
  auto found = state_->glyphByCid.find(cid);
  return found == state_->glyphByCid.end() ? 0 : found->second;
}

std::array<std::string, 256> FontProgram::BuiltinEncoding() const {
  std::array<std::string, 256> names;
  FT_Face face = state_->face;
  if (!HasGlyphNames()) return names;
  for (FT_Encoding wanted : {FT_ENCODING_ADOBE_CUSTOM, FT_ENCODING_ADOBE_STANDARD,
                             FT_ENCODING_ADOBE_EXPERT, FT_ENCODING_ADOBE_LATIN_1}) {
    if (FT_Select_Charmap(face, wanted) != 0) continue;
    for (uint32_t code = 0; code < 256; ++code) {
      FT_UInt gid = FT_Get_Char_Index(face, code);
      if (gid != 0) names[code] = GlyphName(gid);
    }
    return names;
  }
  return names;
}

std::unordered_map<uint32_t, char32_t> FontProgram::UnicodeByGlyph() const {
  std::unordered_map<uint32_t, char32_t> result;
  if (!state_->Select(3, 10) && !state_->Select(3, 1)) return result;
  FT_UInt gid = 0;
  FT_ULong code = FT_Get_First_Char(state_->face, &gid);
  size_t guard = 0;
  while (gid != 0 && ++guard <= (1u << 20)) {
    result.emplace(gid, static_cast<char32_t>(code));  // the lowest code point wins
    code = FT_Get_Next_Char(state_->face, code, &gid);
  }
  return result;
}

bool FontProgram::HasRealGlyph(uint32_t gid, bool allowBlank) const {
  if (gid == 0 || gid >= GlyphCount()) return false;
  if (GlyphName(gid) == ".notdef") return false;
  if (FT_Load_Glyph(state_->face, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) return false;
  if (allowBlank) return true;
  FT_GlyphSlot slot = state_->face->glyph;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) return slot->outline.n_points > 0;
  return slot->format != FT_GLYPH_FORMAT_NONE;
}

int WeightOfStyleName(std::string_view name) {
  static constexpr std::pair<std::string_view, int> kWeights[] = {
      {"thin", 100},  {"hairline", 100}, {"extralight", 200}, {"ultralight", 200},
      {"light", 300}, {"book", 400},     {"regular", 400},    {"normal", 400},
      {"roman", 400}, {"medium", 500},   {"semibold", 600},   {"demibold", 600},
      {"demi", 600},  {"bold", 700},     {"extrabold", 800},  {"ultrabold", 800},
      {"heavy", 800}, {"black", 900},    {"ultrablack", 900}, {"extrablack", 900}};
  std::string key;
  for (char c : name) {
    if (c != ' ' && c != '-' && c != '_') key += ascii::ToLower(c);
  }
  for (const auto& [word, weight] : kWeights) {
    if (key == word) return weight;
  }
  return 0;
}

namespace {

// PANOSE, Latin Text family: serif styles 2..10 have serifs, 11..15 are sans; proportion 9
// is monospaced.
void ReadPanose(const FT_Byte panose[10], ProgramStyle& style) {
  constexpr FT_Byte kLatinText = 2;
  if (panose[0] != kLatinText) return;
  if (panose[1] >= 2 && panose[1] <= 10) style.serif = 1;
  if (panose[1] >= 11 && panose[1] <= 15) style.serif = 0;
  style.monospaced = panose[3] == 9;
}

}  // namespace

ProgramStyle FontProgram::Style() const {
  ProgramStyle style;
  FT_Face face = state_->face;
  style.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  style.bold = (face->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  if (auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      os2 && os2->version != 0xFFFF) {
    if (os2->usWeightClass >= 1 && os2->usWeightClass <= 1000) {
      style.weight = std::clamp<int>(os2->usWeightClass, 100, 900);
    }
    if (os2->usWidthClass >= 1 && os2->usWidthClass <= 9) style.widthClass = os2->usWidthClass;
    constexpr FT_UShort kItalic = 1 << 0, kBold = 1 << 5, kOblique = 1 << 9;
    style.italic = style.italic || (os2->fsSelection & (kItalic | kOblique)) != 0;
    style.bold = style.bold || (os2->fsSelection & kBold) != 0;
    ReadPanose(os2->panose, style);
  }
  PS_FontInfoRec info{};
  if (style.weight == 0 && FT_Get_PS_Font_Info(face, &info) == 0 && info.weight) {
    style.weight = WeightOfStyleName(info.weight);
  }
  return style;
}

std::optional<double> FontProgram::AdvanceWidth(uint32_t gid) const {
  if (gid >= GlyphCount()) return std::nullopt;
  if (FT_Load_Glyph(state_->face, gid, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING) != 0) {
    return std::nullopt;
  }
  double unitsPerEm = state_->face->units_per_EM ? state_->face->units_per_EM : 1000.0;
  return state_->face->glyph->metrics.horiAdvance * 1000.0 / unitsPerEm;
}

}  // namespace pdfcore

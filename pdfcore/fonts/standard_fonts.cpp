#include "fonts/standard_fonts.h"

#include <algorithm>
#include <string>

namespace pdfcore::standard {
namespace {

std::string_view StripSubsetPrefix(std::string_view name) {
  if (name.size() > 7 && name[6] == '+' &&
      std::all_of(name.begin(), name.begin() + 6, [](char c) { return c >= 'A' && c <= 'Z'; })) {
    name.remove_prefix(7);
  }
  return name;
}

std::string WithoutSpaces(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c != ' ') out.push_back(c);
  }
  return out;
}

enum class Family { kNone, kCourier, kHelvetica, kTimes, kSymbol, kDingbats };

Family FamilyOf(std::string_view family) {
  if (family == "Courier" || family == "CourierNew" || family == "CourierNewPSMT" ||
      family == "CourierNewPS") {
    return Family::kCourier;
  }
  if (family == "Helvetica" || family == "Arial" || family == "ArialMT") return Family::kHelvetica;
  if (family == "Times" || family == "TimesNewRoman" || family == "TimesNewRomanPS" ||
      family == "TimesNewRomanPSMT") {
    return Family::kTimes;
  }
  if (family == "Symbol") return Family::kSymbol;
  if (family == "ZapfDingbats" || family == "Dingbats") return Family::kDingbats;
  return Family::kNone;
}

}  // namespace

const StandardFont* Find(std::string_view baseFont) {
  std::string name = WithoutSpaces(StripSubsetPrefix(baseFont));
  for (const auto& font : kStandardFonts) {
    if (name == font.name) return &font;
  }
  auto cut = name.find_first_of(",-");
  std::string_view family = std::string_view(name).substr(0, cut);
  std::string_view style =
      cut == std::string::npos ? std::string_view() : std::string_view(name).substr(cut + 1);
  bool bold = style.find("Bold") != std::string_view::npos;
  bool italic = style.find("Italic") != std::string_view::npos ||
                style.find("Oblique") != std::string_view::npos;
  int index;
  switch (FamilyOf(family)) {
    case Family::kCourier:
      index = 0;
      break;
    case Family::kHelvetica:
      index = 4;
      break;
    case Family::kTimes:
      index = 8;
      break;
    case Family::kSymbol:
      return &kStandardFonts[12];
    case Family::kDingbats:
      return &kStandardFonts[13];
    default:
      return nullptr;
  }
  // Within a family the table runs regular, bold, italic, bold italic.
  return &kStandardFonts[index + (bold ? 1 : 0) + (italic ? 2 : 0)];
}

int WidthOf(const StandardFont& font, std::string_view glyph) {
  const GlyphWidth* end = font.widths + font.count;
  const GlyphWidth* found =
      std::lower_bound(font.widths, end, glyph, [](const GlyphWidth& entry, std::string_view key) {
        return std::string_view(entry.name) < key;
      });
  if (found != end && std::string_view(found->name) == glyph) return found->width;
  return -1;
}

bool IsSymbol(const StandardFont& font) { return &font == &kStandardFonts[12]; }
bool IsZapfDingbats(const StandardFont& font) { return &font == &kStandardFonts[13]; }

}  // namespace pdfcore::standard
